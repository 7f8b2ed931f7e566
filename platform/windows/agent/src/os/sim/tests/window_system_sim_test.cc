// The simulated window system's show state: a host started hidden has its
// first shown top-level window take SW_HIDE, as Windows does.

#include "os/sim/window_system_sim.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "os/sim/desktop_description.h"
#include "os/sim/desktop_state.h"
#include "os/sim/journal.h"

namespace ombrelin::os::sim {
namespace {

struct ShowCase {
  std::string name;
  bool start_hidden;
  bool created_visible;
  // The visibility after creation, then after each SW_SHOWNOACTIVATE.
  std::vector<bool> visible;
};

void PrintTo(const ShowCase& test, std::ostream* out) { *out << test.name; }

DesktopDescription desktop(bool start_hidden) {
  DesktopDescription description = DesktopDescription::standard();
  description.start_hidden = start_hidden;
  return description;
}

class ShowState : public ::testing::TestWithParam<ShowCase> {
 protected:
  WindowHandle create(WindowHandle parent = 0, bool visible = true) {
    const std::uint32_t style = (parent == 0 ? kWsCaption : kWsChild) | (visible ? kWsVisible : 0);
    return windows_->create_window({"C", "", style, 0, 0, 0, 10, 10, parent, 0}, nullptr);
  }

  DesktopDescription description_ = desktop(GetParam().start_hidden);
  DesktopState state_{description_};
  Journal journal_;
  std::unique_ptr<WindowSystem> windows_ =
      make_simulated_window_system(description_, state_, journal_, "");
};

TEST_P(ShowState, FollowsTheStartUpShowState) {
  const WindowHandle main = create(0, GetParam().created_visible);
  const WindowHandle control = create(main);
  std::vector<bool> visible{windows_->is_window_visible(main)};
  for (std::size_t shows = 1; shows < GetParam().visible.size(); ++shows) {
    EXPECT_EQ(windows_->show_window(main, kSwShowNoActivate), visible.back());
    visible.push_back(windows_->is_window_visible(main));
    // A child is visible when its parent is.
    EXPECT_EQ(windows_->is_window_visible(control), visible.back());
  }
  EXPECT_EQ(visible, GetParam().visible);
  // The start-up state is spent: the next window shows as asked.
  EXPECT_TRUE(windows_->is_window_visible(create()));
}

INSTANTIATE_TEST_SUITE_P(
    Starts, ShowState,
    ::testing::Values(ShowCase{"Normal", false, true, {true, true}},
                      ShowCase{"NormalCreatedHidden", false, false, {false, true}},
                      ShowCase{"HiddenCreatedVisible", true, true, {false, true}},
                      ShowCase{"HiddenCreatedHidden", true, false, {false, false, true}}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::os::sim
