// What the gateway's system says about itself: its name and release, how long
// it has run and how busy it is, its memory, the disk a path lies on, and its
// network interfaces. Each fact that cannot be read is absent (null), never a
// failure: the overview shows what it can.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "utils/json.h"

namespace nc {

// PRETTY_NAME of an os-release file, its shell quoting undone.
std::optional<std::string> osPrettyName(std::string_view osRelease);

struct MemoryFigures {
  std::optional<uint64_t> totalBytes;
  std::optional<uint64_t> availableBytes;  // what can be had without swapping (MemAvailable)
};

// MemTotal and MemAvailable of /proc/meminfo.
MemoryFigures memoryFiguresOf(std::string_view meminfo);

// The first number of /proc/uptime, in whole seconds.
std::optional<int64_t> uptimeSecondsOf(std::string_view procUptime);

// The 1, 5 and 15 minute load averages of /proc/loadavg.
std::optional<std::array<double, 3>> loadAveragesOf(std::string_view procLoadavg);

// {"hostName", "osRelease", "uptimeSeconds", "load", "memory", "disk",
// "interfaces"} as docs/api.md shows, read now. `dataPath` names the file
// whose file system "disk" describes.
JsonObject hostFactsJson(const std::string& dataPath);

}  // namespace nc
