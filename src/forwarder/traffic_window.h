// The forwarder's recent reports in memory, the totals of every report read
// since the service started, and what the last reports say about the gateway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "src/forwarder/traffic_report.h"
#include "utils/json.h"

namespace nc {

// The window's intervals never take more than this: a day at the example
// file's 30 s interval (2,880 reports) fits with room for a shorter interval,
// and a gateway with 256 MB hardly notices it.
inline constexpr size_t maxTrafficWindowBytes = 256 * 1024;
// What the window's deque spends beyond the intervals themselves: a heap
// header per block of ten and the map of blocks, 8% on 64-bit glibc (283,376
// bytes measured for 5,461 intervals of 48 bytes). An eighth more per interval
// keeps the whole within the bound.
inline constexpr size_t trafficIntervalCost = sizeof(TrafficInterval) + sizeof(TrafficInterval) / 8;
inline constexpr size_t trafficWindowCapacity = maxTrafficWindowBytes / trafficIntervalCost;
// Intervals older than this, counted back from the newest, are dropped: the
// overview shows a day.
inline constexpr int64_t trafficWindowSeconds = 24 * 3600;

// Sums over every report read since start, for counters that never go down.
struct TrafficTotals {
  uint64_t reports = 0;
  uint64_t received = 0;
  uint64_t crcOkPackets = 0;  // each report's received × CRC_OK %, rounded to a whole packet
  uint64_t forwarded = 0;
  uint64_t pushDataSent = 0;
  uint64_t downlinksSent = 0;
  uint64_t txErrors = 0;
  std::optional<TrafficInterval> last;
};

class TrafficWindow {
 public:
  // Every interval counts in the totals. In the window, one that is not after
  // the newest held (the clock was set back) first drops those at or after
  // its time, so that times only grow and a caller's `since` stays exact.
  void add(const TrafficInterval& interval);

  const std::deque<TrafficInterval>& intervals() const { return intervals_; }
  const TrafficTotals& totals() const { return totals_; }

 private:
  std::deque<TrafficInterval> intervals_;
  TrafficTotals totals_;
};

// The forwarder's interval when fewer than two reports tell it: lora_pkt_fwd's
// default and the example file's gateway_conf.stat_interval.
inline constexpr int64_t defaultReportSeconds = 30;
// A packet in any of the last five reports counts as receiving: sensors that
// send every few minutes leave single reports empty.
inline constexpr size_t receivingReports = 5;
// PUSH_DATA or PULL_DATA acknowledged in any of the last three reports counts
// as the network server answering; PULL_DATA goes out every few seconds.
inline constexpr size_t answeringReports = 3;
// The last report is stale once this many intervals have passed without one.
inline constexpr int64_t staleAfterReports = 3;

enum class ReportsState { unknown, current, stale };

struct TrafficVerdict {
  ReportsState reports = ReportsState::unknown;  // unknown: no report yet
  std::optional<int64_t> lastReport;             // Unix seconds
  std::optional<int64_t> ageSeconds;
  int64_t intervalSeconds = defaultReportSeconds;  // the median gap of the last reports
  std::optional<bool> receiving;                   // unknown when no report has the figure
  std::optional<bool> serverAnswering;
};

TrafficVerdict trafficVerdict(const std::deque<TrafficInterval>& intervals, int64_t now);

// Most points one traffic answer holds: a chart's width, and at 300 the
// answer stays under 64 KiB whatever the figures.
inline constexpr size_t maxTrafficPoints = 300;

// {"verdict": {...}, "complete": bool, "series": {...}} as docs/api.md shows.
// With a `since` that is the time of a held interval, only the newer ones;
// otherwise the whole window (complete). Either way merged into at most
// `points` points. `readFailure` is why the journal could not be read, if so.
JsonValue trafficJson(const TrafficWindow& window, std::optional<int64_t> since, size_t points, int64_t now,
                      std::string_view readFailure);

}  // namespace nc
