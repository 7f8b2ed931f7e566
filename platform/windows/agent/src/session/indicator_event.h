#pragma once

#include <cstdint>

#include "base/channel.h"

namespace ombrelin::session {

// What the local user did at the indicator window.
enum class IndicatorEvent : std::uint8_t { kResume = 0, kPause = 1, kStop = 2 };

using IndicatorSender = Channel<IndicatorEvent>::Sender;
using IndicatorReceiver = Channel<IndicatorEvent>::Receiver;

}  // namespace ombrelin::session
