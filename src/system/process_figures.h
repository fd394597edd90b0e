// The service's own process as the kernel counts it, for /metrics.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nc {

struct ProcessFigures {
  double cpuSeconds = 0;       // user and system time
  uint64_t residentBytes = 0;  // resident set size
};

// From the text of /proc/self/stat, with the clock ticks per second and the
// page size it counts in; nothing for text of another shape.
std::optional<ProcessFigures> processFiguresOf(std::string_view stat, long ticksPerSecond, long pageSize);

// This process's figures now.
std::optional<ProcessFigures> readProcessFigures();

}  // namespace nc
