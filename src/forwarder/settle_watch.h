// The verified apply's judgement, apart from its waiting: from the readings of
// the unit taken during the settle window, whether the change held.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "src/units/unit_status.h"

namespace nc {

// Decides from the readings taken during the settle window whether the unit
// stayed up: it must not be seen failed, its restart counter must not move,
// and the last reading must be active.
class SettleWatch {
 public:
  // Records one reading; returns why the change cannot hold once that is
  // certain, so the watch may stop early.
  std::optional<std::string> observe(const UnitStatus& status);
  // At the end of the window: why the change did not hold, or nothing.
  std::optional<std::string> verdict() const;

 private:
  std::optional<int64_t> firstRestarts_;
  std::optional<std::string> failure_;
  std::optional<UnitStatus> last_;
};

// Whether a failure the watch gave means that the unit's state could not be
// read, rather than that it was seen down.
bool isUnreadVerdict(const std::string& failure);

}  // namespace nc
