#include "session/active_session.h"

#include "session/visible_indicator.h"

namespace ombrelin::session {

void IndicatorLink::show_paused(bool paused) const {
  if (window_ != 0) {
    windows_->post_message(window_, kShowPauseState, paused ? 1 : 0, 0);
  }
}

void IndicatorLink::show_local_activity(bool active) const {
  if (window_ != 0) {
    windows_->post_message(window_, kShowLocalActivity, active ? 1 : 0, 0);
  }
}

void IndicatorLink::close() {
  if (window_ != 0) {
    windows_->post_message(std::exchange(window_, 0), kCloseIndicator, 0, 0);
  }
}

}  // namespace ombrelin::session
