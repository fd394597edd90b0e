#include "src/system/process_figures.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace nc {

std::optional<ProcessFigures> processFiguresOf(std::string_view stat, long ticksPerSecond, long pageSize) {
  // The command name, second field, is in parentheses and may hold spaces and
  // parentheses itself; the fields after the last ")" are plain numbers.
  const size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string_view::npos || ticksPerSecond <= 0 || pageSize <= 0) return std::nullopt;
  std::istringstream fields{std::string(stat.substr(nameEnd + 1))};
  // state is field 3; utime 14, stime 15, rss 24 (proc(5)).
  std::string state;
  fields >> state;
  // Some fields (priority, nice) may be negative.
  int64_t value = 0, utime = 0, stime = 0;
  for (int field = 4; field <= 24 && fields >> value; ++field) {
    if (field == 14) utime = value;
    if (field == 15) stime = value;
    if (field == 24 && utime >= 0 && stime >= 0 && value >= 0)
      return ProcessFigures{static_cast<double>(utime + stime) / static_cast<double>(ticksPerSecond),
                            static_cast<uint64_t>(value) * static_cast<uint64_t>(pageSize)};
  }
  return std::nullopt;
}

std::optional<ProcessFigures> readProcessFigures() {
  std::ifstream in("/proc/self/stat");
  const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return processFiguresOf(stat, ::sysconf(_SC_CLK_TCK), ::sysconf(_SC_PAGESIZE));
}

}  // namespace nc
