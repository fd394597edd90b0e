// What the login throttle writes to the log, kept within bounds: a refused
// address gets a line when its refusals begin, one a minute while they go on,
// and one when it is let through again; and all throttle lines together keep
// to a budget a minute, the rest counted. The caller passes the time in, so
// the rules run the same under test as in service.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string_view>

#include "src/accounts/login_throttle.h"
#include "utils/recent_table.h"

namespace nc {

// A locked address that keeps trying gets one line a minute with its count:
// enough to see an attack go on, where a line per refusal made 4,155 lines a
// second from one address.
inline constexpr std::chrono::seconds refusalSummaryInterval{60};
// Throttle lines from all addresses together within one window. Past that an
// attack from many addresses would still fill the journal, whose rate limit
// then drops the service's other messages; sixty a minute stay readable.
inline constexpr int throttleLinesPerWindow = 60;
inline constexpr std::chrono::seconds throttleLineWindow{60};

// What to write about one refused login.
struct RefusalNote {
  bool first = false;            // the address's refusals begin: the full line
  int attempts = 0;              // otherwise the refusals since its last line,
  std::chrono::seconds span{0};  // which came in over this time
};

// The refusals of each address, from the first to the login let through.
class RefusalRuns {
 public:
  explicit RefusalRuns(size_t maxAddresses = maxTrackedAddresses);

  // A refused login from `address`: what to write about it, if anything.
  std::optional<RefusalNote> refused(std::string_view address, ThrottleClock::time_point now);
  // A login from `address` let through: how many were refused since the
  // first, when they had begun.
  std::optional<int> letThrough(std::string_view address);

 private:
  struct Run {
    int total = 0;      // 0: no run yet
    int sinceLine = 0;  // refusals since the last line about the address
    ThrottleClock::time_point lastLine{};
  };
  RecentTable<Run> runs_;
};

// At most `perWindow` lines in a window, which starts with the first line
// after the last one ended; past that lines are held back and counted.
class LineBudget {
 public:
  explicit LineBudget(int perWindow = throttleLinesPerWindow, std::chrono::seconds window = throttleLineWindow);

  struct Admission {
    bool write = false;  // whether this line may be written
    int heldBack = 0;    // lines held back in the window just ended, to be told once
  };
  Admission admit(ThrottleClock::time_point now);

 private:
  int perWindow_;
  std::chrono::seconds window_;
  std::optional<ThrottleClock::time_point> windowStart_;
  int written_ = 0;
  int heldBack_ = 0;
};

}  // namespace nc
