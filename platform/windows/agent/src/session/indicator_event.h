#pragma once

#include <cstdint>

#include "base/channel.h"

namespace ombrelin::session {

// What the local user did at the indicator window; kLocalInput: the local user
// used a device of the computer anywhere; kDisplayChanged: the indicator window
// heard that the display configuration changed (resolution, orientation, the
// primary display, a monitor added or removed).
enum class IndicatorEvent : std::uint8_t {
  kResume = 0,
  kPause = 1,
  kStop = 2,
  kDisplayChanged = 3,
  kLocalInput = 4,
};

// An event of the indicator of one session. The session host numbers its
// sessions, so that a Stop or Pause still queued from an indicator that is
// closing changes nothing in a session started after it.
struct IndicatorNotice {
  std::uint64_t session = 0;
  IndicatorEvent event = IndicatorEvent::kStop;

  bool operator==(const IndicatorNotice&) const = default;
};

using IndicatorChannel = Channel<IndicatorNotice>;
using IndicatorSender = IndicatorChannel::Sender;
using IndicatorReceiver = IndicatorChannel::Receiver;

}  // namespace ombrelin::session
