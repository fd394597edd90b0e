// Keeps the traffic window current from the forwarder unit's journal: at
// start the last day, then whatever the journal gained since the last entry
// taken, on a period and whenever a caller wants fresh figures.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "src/forwarder/traffic_report.h"
#include "src/forwarder/traffic_window.h"
#include "src/units/journal.h"
#include "utils/async_mutex.h"

namespace nc {

// Bytes of journalctl's output one read takes. A day of reports is about
// 12 MB of its JSON (2,880 reports of 13 lines, some 330 bytes a line), so the
// read at start takes the whole day; a read cut short goes on from its last
// entry next time.
inline constexpr size_t maxTrafficReadBytes = 16 * 1024 * 1024;
// A read still running after this is ended, keeping what it took: the first
// read of a day's journal from a slow SD card takes a few seconds.
inline constexpr std::chrono::milliseconds trafficReadTimeout = std::chrono::seconds(20);
// Reads closer together than this are one: a page and a scraper asking at once,
// or a client calling in a loop, start no journalctl each.
inline constexpr std::chrono::milliseconds defaultTrafficReadGap = std::chrono::seconds(2);
// Without callers, the journal is read this often, so that a read never has
// much to catch up and the totals stay current.
inline constexpr std::chrono::milliseconds trafficReadPeriod = std::chrono::seconds(60);

// What the feed and the log say when the forwarder's unit name is empty.
inline constexpr std::string_view unmanagedForwarderMessage =
    "The forwarder's unit is not managed, so its journal is not read.";

class TrafficFeed {
 public:
  // An empty unit: the forwarder is not managed, and nothing is read.
  explicit TrafficFeed(std::string unit) : unit_(std::move(unit)) {}

  // Takes what the journal gained since the last read, unless another read
  // ended less than readGap ago. One read runs at a time; a caller that comes
  // during a read waits for it.
  asio::awaitable<void> catchUp();

  const TrafficWindow& window() const { return window_; }
  // Why the last read failed; empty when it did not.
  const std::string& readFailure() const { return failure_; }

  std::chrono::milliseconds readGap = defaultTrafficReadGap;  // tests set 0
  // Tests of the bound take less than a day's bytes: the sanitizers' build
  // reads 16 MiB no faster than a gateway.
  JournalLimits readLimits{maxTrafficReadBytes, {trafficReadTimeout, std::chrono::seconds(1)}};

 private:
  void take(JournalEntry&& entry);

  std::string unit_;
  TrafficReportParser parser_;
  TrafficWindow window_;
  std::optional<std::string> cursor_;
  // After a cursor journalctl would not take, the last day is read again;
  // entries up to the last one taken are skipped.
  int64_t lastTimeUs_ = 0;
  int64_t skipUntilUs_ = 0;
  std::string failure_;
  AsyncMutex reading_;
  std::optional<std::chrono::steady_clock::time_point> lastRead_;
};

// Reads the last day, then goes on reading every trafficReadPeriod while the
// service runs.
asio::awaitable<void> keepTrafficCurrent(std::shared_ptr<TrafficFeed> feed);

}  // namespace nc
