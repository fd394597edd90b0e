#include "src/forwarder/traffic_window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace nc {
namespace {

using Intervals = std::deque<TrafficInterval>;
using Position = Intervals::const_iterator;

constexpr std::array<std::pair<std::string_view, TrafficCount>, trafficCountKinds> countSeries{{
    {"received", TrafficCount::received},
    {"forwarded", TrafficCount::forwarded},
    {"pushDataSent", TrafficCount::pushDataSent},
    {"pullDataSent", TrafficCount::pullDataSent},
    {"downlinksReceived", TrafficCount::downlinksReceived},
    {"downlinksSent", TrafficCount::downlinksSent},
    {"txErrors", TrafficCount::txErrors},
}};

// Each share with the count it is a share of, which weighs it when reports merge.
struct ShareSeries {
  std::string_view name;
  TrafficShare kind;
  TrafficCount weight;
};
constexpr std::array<ShareSeries, trafficShareKinds> shareSeries{{
    {"crcOk", TrafficShare::crcOk, TrafficCount::received},
    {"crcFail", TrafficShare::crcFail, TrafficCount::received},
    {"noCrc", TrafficShare::noCrc, TrafficCount::received},
    {"pushDataAck", TrafficShare::pushDataAck, TrafficCount::pushDataSent},
    {"pullDataAck", TrafficShare::pullDataAck, TrafficCount::pullDataSent},
}};

uint64_t countOr0(const TrafficInterval& interval, TrafficCount kind) { return interval.count(kind).value_or(0); }

void addToTotals(TrafficTotals& totals, const TrafficInterval& interval) {
  ++totals.reports;
  totals.received += countOr0(interval, TrafficCount::received);
  const double crcOk = interval.share(TrafficShare::crcOk).value_or(0);
  totals.crcOkPackets += static_cast<uint64_t>(std::llround(countOr0(interval, TrafficCount::received) * crcOk / 100));
  totals.forwarded += countOr0(interval, TrafficCount::forwarded);
  totals.pushDataSent += countOr0(interval, TrafficCount::pushDataSent);
  totals.downlinksSent += countOr0(interval, TrafficCount::downlinksSent);
  totals.txErrors += countOr0(interval, TrafficCount::txErrors);
  totals.last = interval;
}

// The median gap between the last few reports.
int64_t reportSeconds(const Intervals& intervals) {
  constexpr size_t gapsLooked = 5;
  std::vector<int64_t> gaps;
  for (size_t i = intervals.size() - 1; i > 0 && gaps.size() < gapsLooked; --i)
    gaps.push_back(intervals[i].time - intervals[i - 1].time);
  if (gaps.empty()) return defaultReportSeconds;
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  return std::max<int64_t>(1, gaps[gaps.size() / 2]);
}

// Whether any of the last `reports` intervals passes `test`; unknown when
// none of them has the figures `test` looks at.
template <class Test>
std::optional<bool> anyOfLast(const Intervals& intervals, size_t reports, Test test) {
  std::optional<bool> found;
  for (size_t seen = 0; seen < reports && seen < intervals.size(); ++seen) {
    const std::optional<bool> passes = test(intervals[intervals.size() - 1 - seen]);
    if (passes) found = found.value_or(false) || *passes;
  }
  return found;
}

std::optional<bool> anyPacket(const TrafficInterval& interval) {
  const auto received = interval.count(TrafficCount::received);
  if (!received) return std::nullopt;
  return *received > 0;
}

std::optional<bool> anyAcknowledged(const TrafficInterval& interval) {
  const auto push = interval.share(TrafficShare::pushDataAck), pull = interval.share(TrafficShare::pullDataAck);
  if (!push && !pull) return std::nullopt;
  return push.value_or(0) > 0 || pull.value_or(0) > 0;
}

JsonValue orNull(const std::optional<int64_t>& value) { return value ? JsonValue(*value) : JsonValue(); }
JsonValue orNull(const std::optional<bool>& value) { return value ? JsonValue(*value) : JsonValue(); }

JsonValue verdictJson(const TrafficVerdict& verdict, std::string_view readFailure) {
  constexpr std::string_view stateNames[] = {"unknown", "current", "stale"};
  JsonObject json{{"reports", stateNames[static_cast<size_t>(verdict.reports)]},
                  {"lastReport", orNull(verdict.lastReport)},
                  {"ageSeconds", orNull(verdict.ageSeconds)},
                  {"intervalSeconds", verdict.intervalSeconds},
                  {"receiving", orNull(verdict.receiving)},
                  {"serverAnswering", orNull(verdict.serverAnswering)}};
  if (!readFailure.empty())
    json.set("message", readFailure);
  else if (verdict.reports == ReportsState::unknown)
    json.set("message", "The forwarder's journal holds no statistics report of the last day.");
  return JsonValue(std::move(json));
}

JsonValue summed(Position begin, Position end, TrafficCount kind) {
  std::optional<int64_t> sum;
  for (Position at = begin; at != end; ++at)
    if (auto count = at->count(kind)) sum = sum.value_or(0) + *count;
  return orNull(sum);
}

// Weighted by the count the share is of; by report where those are all 0.
JsonValue merged(Position begin, Position end, const ShareSeries& series) {
  double weighted = 0, weights = 0, plain = 0;
  size_t present = 0;
  for (Position at = begin; at != end; ++at) {
    const auto share = at->share(series.kind);
    if (!share) continue;
    const double weight = static_cast<double>(countOr0(*at, series.weight));
    weighted += *share * weight;
    weights += weight;
    plain += *share;
    ++present;
  }
  if (present == 0) return JsonValue();
  const double mean = weights > 0 ? weighted / weights : plain / static_cast<double>(present);
  return JsonValue(std::round(mean * 100) / 100);
}

struct Series {
  JsonArray time, intervals;
  std::array<JsonArray, trafficCountKinds> counts;
  std::array<JsonArray, trafficShareKinds> shares;

  // One point for the reports in [begin, end), at the time of the last.
  void add(Position begin, Position end) {
    time.emplace_back(std::prev(end)->time);
    intervals.emplace_back(static_cast<int64_t>(end - begin));
    for (size_t i = 0; i < countSeries.size(); ++i) counts[i].push_back(summed(begin, end, countSeries[i].second));
    for (size_t i = 0; i < shareSeries.size(); ++i) shares[i].push_back(merged(begin, end, shareSeries[i]));
  }

  JsonValue json() && {
    JsonObject object{{"time", std::move(time)}, {"intervals", std::move(intervals)}};
    for (size_t i = 0; i < countSeries.size(); ++i) object.set(std::string(countSeries[i].first), std::move(counts[i]));
    for (size_t i = 0; i < shareSeries.size(); ++i) object.set(std::string(shareSeries[i].name), std::move(shares[i]));
    return JsonValue(std::move(object));
  }
};

// [begin, end) in at most `points` points of equal size, the oldest point
// taking what is left over, so that the newest point ends at the newest report.
JsonValue seriesJson(Position begin, Position end, size_t points) {
  Series series;
  const size_t count = static_cast<size_t>(end - begin);
  if (count > 0 && points > 0) {
    const size_t per = (count + points - 1) / points;
    size_t size = count - ((count + per - 1) / per - 1) * per;
    for (; begin != end; begin += static_cast<ptrdiff_t>(size), size = per)
      series.add(begin, begin + static_cast<ptrdiff_t>(size));
  }
  return std::move(series).json();
}

}  // namespace

void TrafficWindow::add(const TrafficInterval& interval) {
  addToTotals(totals_, interval);
  while (!intervals_.empty() && intervals_.back().time >= interval.time) intervals_.pop_back();
  intervals_.push_back(interval);
  while (intervals_.size() > trafficWindowCapacity || interval.time - intervals_.front().time > trafficWindowSeconds)
    intervals_.pop_front();
}

TrafficVerdict trafficVerdict(const Intervals& intervals, int64_t now) {
  TrafficVerdict verdict;
  if (intervals.empty()) return verdict;
  verdict.intervalSeconds = reportSeconds(intervals);
  verdict.lastReport = intervals.back().time;
  verdict.ageSeconds = std::max<int64_t>(0, now - intervals.back().time);
  verdict.reports =
      *verdict.ageSeconds > staleAfterReports * verdict.intervalSeconds ? ReportsState::stale : ReportsState::current;
  verdict.receiving = anyOfLast(intervals, receivingReports, anyPacket);
  verdict.serverAnswering = anyOfLast(intervals, answeringReports, anyAcknowledged);
  return verdict;
}

JsonValue trafficJson(const TrafficWindow& window, std::optional<int64_t> since, size_t points, int64_t now,
                      std::string_view readFailure) {
  const Intervals& intervals = window.intervals();
  Position begin = intervals.begin();
  if (since) {
    auto held = std::lower_bound(intervals.begin(), intervals.end(), *since,
                                 [](const TrafficInterval& interval, int64_t time) { return interval.time < time; });
    if (held != intervals.end() && held->time == *since) begin = std::next(held);
  }
  const bool complete = begin == intervals.begin();
  return JsonValue(JsonObject{{"verdict", verdictJson(trafficVerdict(intervals, now), readFailure)},
                              {"complete", complete},
                              {"series", seriesJson(begin, intervals.end(), points)}});
}

}  // namespace nc
