#include "src/accounts/throttle_lines.h"

#include <gtest/gtest.h>

namespace nc {
namespace {

using std::chrono::milliseconds;

TEST(LineBudget, aWindowsLinesThenOneCountOfTheRest) {
  const ThrottleClock::time_point start{std::chrono::hours(1000)};
  struct Step { milliseconds at; bool write; int heldBack; };
  const Step steps[] = {
      {milliseconds(0), true, 0},        // the first line opens a window
      {milliseconds(1), true, 0},
      {milliseconds(59'000), true, 0},   // three: the window is full
      {milliseconds(59'999), false, 0},  // held back
      {milliseconds(59'999), false, 0},
      {milliseconds(60'000), true, 2},   // the next window tells what the last one held back
      {milliseconds(60'001), true, 0},
      {milliseconds(60'002), true, 0},
      {milliseconds(60'003), false, 0},
      {milliseconds(500'000), true, 1},  // after a quiet spell, with the next line
      {milliseconds(600'000), true, 0},  // nothing held back: nothing to tell
  };
  LineBudget budget(3, std::chrono::seconds(60));
  for (const Step& step : steps) {
    const LineBudget::Admission admission = budget.admit(start + step.at);
    EXPECT_EQ(admission.write, step.write) << step.at.count() << " ms";
    EXPECT_EQ(admission.heldBack, step.heldBack) << step.at.count() << " ms";
  }
}

}  // namespace
}  // namespace nc
