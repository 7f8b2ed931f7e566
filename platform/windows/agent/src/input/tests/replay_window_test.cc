#include "input/replay_window.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace ombrelin::input {
namespace {

using Step = std::pair<std::uint64_t, std::optional<ReplayRefusal>>;  // none: accepted
constexpr auto kTooOld = ReplayRefusal::kTooOld;
constexpr auto kReplayed = ReplayRefusal::kReplayed;

struct ReplayCase {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const ReplayCase& c, std::ostream* out) { *out << c.name; }

class ReplayWindowTest : public ::testing::TestWithParam<ReplayCase> {};

TEST_P(ReplayWindowTest, AcceptsEachSequenceNumberOnceWithinTheLast128) {
  EventReplayWindow window;
  for (const auto& [sequence, refusal] : GetParam().steps) {
    const auto accepted = accept_event_sequence(window, sequence);
    EXPECT_EQ(accepted ? std::nullopt : std::optional(accepted.error()), refusal) << sequence;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplayWindowTest,
    ::testing::Values(
        ReplayCase{"first_any_then_again", {{40, {}}, {40, kReplayed}, {39, {}}, {41, {}}}},
        ReplayCase{"oldest_kept_is_127_below",
                   {{200, {}}, {73, {}}, {72, kTooOld}, {73, kReplayed}}},
        // Shifts of 63, 64 and 65 carry bits across the two words of the bitmap.
        ReplayCase{"shift_63", {{1, {}}, {64, {}}, {1, kReplayed}, {2, {}}}},
        ReplayCase{"shift_64", {{1, {}}, {65, {}}, {1, kReplayed}, {2, {}}}},
        ReplayCase{"shift_65", {{1, {}}, {2, {}}, {66, {}}, {2, kReplayed}, {1, kReplayed}}},
        ReplayCase{"shift_127_keeps_the_top_bit",
                   {{10, {}}, {11, {}}, {138, {}}, {11, kReplayed}, {10, kTooOld}}},
        ReplayCase{"shift_128_forgets_everything", {{10, {}}, {138, {}}, {137, {}}, {11, {}}}},
        ReplayCase{"far_jump", {{5, {}}, {1000, {}}, {5, kTooOld}, {999, {}}, {1000, kReplayed}}}),
    [](const auto& test) { return std::string(test.param.name); });

// The bitmap against the plain definition: a number is refused when it was
// accepted before or lies more than 127 below the highest accepted one.
TEST(ReplayWindowModelTest, AgreesWithTheSetOfAcceptedNumbers) {
  std::mt19937 random(20240611);
  EventReplayWindow window;
  std::set<std::uint64_t> accepted;
  std::uint64_t highest = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t jump = std::uniform_int_distribution<std::uint64_t>(0, 300)(random);
    const std::uint64_t sequence = highest + 150 > jump ? highest + 150 - jump : 1;
    const bool expected =
        !accepted.contains(sequence) && (accepted.empty() || sequence + 127 >= highest);
    ASSERT_EQ(accept_event_sequence(window, sequence).has_value(), expected) << i;
    if (expected) {
      accepted.insert(sequence);
      highest = std::max(highest, sequence);
    }
  }
}

}  // namespace
}  // namespace ombrelin::input
