#include <gtest/gtest.h>

#include <limits>

#include "src/forwarder/traffic_window.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

constexpr int64_t start = 1714557600;

TrafficInterval interval(int64_t time, uint32_t received = 10) {
  TrafficInterval made;
  made.time = time;
  for (auto kind : {TrafficCount::received, TrafficCount::forwarded}) made.setCount(kind, received);
  made.setCount(TrafficCount::pushDataSent, 2);
  made.setCount(TrafficCount::pullDataSent, 3);
  made.setCount(TrafficCount::downlinksSent, 1);
  made.setShare(TrafficShare::crcOk, 8333);
  made.setShare(TrafficShare::pushDataAck, 10000);
  made.setShare(TrafficShare::pullDataAck, 10000);
  return made;
}

JsonValue answer(const TrafficWindow& window, std::optional<int64_t> since = std::nullopt,
                 size_t points = maxTrafficPoints) {
  return trafficJson(window, since, points, window.intervals().empty() ? start : window.intervals().back().time, "");
}

const JsonValue& member(const JsonValue& value, const char* name) { return value.asObject().at(name); }

}  // namespace

// The window keeps a day at most, and never more than its byte bound; the
// totals go on counting what it dropped, and an interval from a clock set
// back replaces the ones after it.
TEST(TrafficWindow, boundsAndTotals) {
  const size_t before = bytesAllocated();
  auto window = std::make_unique<TrafficWindow>();
  const size_t played = trafficWindowCapacity + 100;
  for (size_t i = 0; i < played; ++i) window->add(interval(start + static_cast<int64_t>(i), 1));
  const size_t held = bytesAllocated() - before;
  EXPECT_EQ(window->intervals().size(), trafficWindowCapacity);
  EXPECT_EQ(window->intervals().front().time, start + 100);
  EXPECT_LE(held, maxTrafficWindowBytes + maxTrafficWindowBytes / 16) << "measured " << held << " bytes";
  std::cout << "full window: " << trafficWindowCapacity << " intervals of " << sizeof(TrafficInterval) << " bytes, "
            << held << " bytes measured\n";
  EXPECT_EQ(window->totals().reports, played);
  EXPECT_EQ(window->totals().received, played);
  EXPECT_EQ(window->totals().crcOkPackets, played);  // 1 × 83.33 % rounds to a packet

  TrafficWindow hourly;
  for (int64_t hour = 0; hour < 30; ++hour) hourly.add(interval(start + hour * 3600));
  EXPECT_EQ(hourly.intervals().size(), 25u);  // the newest and the 24 hours before it
  EXPECT_EQ(hourly.totals().received, 300u);

  TrafficWindow stepped;
  for (int64_t time : {start, start + 30, start + 60, start + 30}) stepped.add(interval(time));
  ASSERT_EQ(stepped.intervals().size(), 2u);
  EXPECT_EQ(stepped.intervals().back().time, start + 30);
  EXPECT_EQ(stepped.totals().reports, 4u);
}

// Merged points sum counts and weigh each share by the count it is a share
// of; a `since` the window holds gives only what is newer.
TEST(TrafficWindow, pointsAndSince) {
  TrafficWindow window;
  TrafficInterval few = interval(start, 10), many = interval(start + 30, 30), quiet = interval(start + 60, 0);
  few.setShare(TrafficShare::crcOk, 10000);
  many.setShare(TrafficShare::crcOk, 5000);
  quiet.setShare(TrafficShare::crcOk, 0);
  for (const auto& added : {few, many, quiet}) window.add(added);
  const JsonValue twoPoints = answer(window, std::nullopt, 2);
  const JsonValue& merged = member(twoPoints, "series");
  EXPECT_EQ(toCompactJson(member(merged, "time")),
            "[1714557600,1714557660]");  // the newest point ends at the newest report
  EXPECT_EQ(toCompactJson(member(merged, "intervals")), "[1,2]");
  EXPECT_EQ(toCompactJson(member(merged, "received")), "[10,30]");
  EXPECT_EQ(toCompactJson(member(merged, "crcOk")), "[100.0,50.0]");  // 0 % of no packet weighs nothing
  EXPECT_EQ(toCompactJson(member(merged, "downlinksReceived")), "[null,null]");

  TrafficWindow unweighted;
  for (uint16_t crc : {2000, 4000}) {
    TrafficInterval empty = interval(start + crc, 0);
    empty.setShare(TrafficShare::crcOk, crc);
    unweighted.add(empty);
  }
  EXPECT_EQ(toCompactJson(member(member(answer(unweighted, std::nullopt, 1), "series"), "crcOk")), "[30.0]");

  const JsonValue newer = answer(window, start + 30);
  EXPECT_FALSE(member(newer, "complete").asBool());
  EXPECT_EQ(toCompactJson(member(member(newer, "series"), "time")), "[1714557660]");
  EXPECT_TRUE(member(answer(window, start + 15), "complete").asBool());  // no such interval: everything
  EXPECT_EQ(member(member(answer(window, start + 60), "series"), "time").asArray().size(), 0u);
}

// What a page receives: a day at 300 points, a refresh, and the largest
// answer any figures can make, which stays under 64 KiB.
TEST(TrafficWindow, answerSizes) {
  TrafficWindow day;
  for (int64_t i = 0; i < 2880; ++i) day.add(interval(start + 30 * i, static_cast<uint32_t>(i % 50)));
  const size_t full = toCompactJson(answer(day)).size();
  const size_t refresh = toCompactJson(answer(day, day.intervals()[2878].time)).size();
  std::cout << "a day at 300 points: " << full << " bytes; a refresh: " << refresh << " bytes\n";
  EXPECT_LE(full, 64u * 1024);
  EXPECT_LT(refresh, 2048u);

  TrafficWindow absurd;
  const uint32_t most = std::numeric_limits<uint32_t>::max();
  for (size_t i = 0; i < trafficWindowCapacity; ++i) {
    TrafficInterval huge;
    huge.time = 4'000'000'000 + static_cast<int64_t>(i);
    for (size_t kind = 0; kind < trafficCountKinds; ++kind) huge.setCount(static_cast<TrafficCount>(kind), most);
    for (size_t kind = 0; kind < trafficShareKinds; ++kind)
      huge.setShare(static_cast<TrafficShare>(kind), static_cast<uint16_t>(3333 + kind));
    absurd.add(huge);
  }
  EXPECT_LE(toCompactJson(answer(absurd)).size(), 64u * 1024);
}

TEST(TrafficWindow, verdict) {
  TrafficWindow window;
  EXPECT_EQ(trafficVerdict(window.intervals(), start).reports, ReportsState::unknown);
  for (int64_t i = 0; i < 8; ++i) window.add(interval(start + 30 * i, i < 2 ? 5 : 0));
  const int64_t last = start + 7 * 30;
  TrafficVerdict verdict = trafficVerdict(window.intervals(), last + 90);
  EXPECT_EQ(verdict.reports, ReportsState::current);
  EXPECT_EQ(verdict.intervalSeconds, 30);
  EXPECT_EQ(verdict.ageSeconds, 90);
  EXPECT_EQ(verdict.receiving, false);  // packets only in the 7th and 8th report back
  EXPECT_EQ(verdict.serverAnswering, true);
  EXPECT_EQ(trafficVerdict(window.intervals(), last + 91).reports, ReportsState::stale);

  TrafficWindow disabled;
  TrafficInterval bare;
  bare.time = start;
  disabled.add(bare);
  verdict = trafficVerdict(disabled.intervals(), start);
  EXPECT_EQ(verdict.receiving, std::nullopt);
  EXPECT_EQ(verdict.serverAnswering, std::nullopt);
  EXPECT_EQ(verdict.intervalSeconds, defaultReportSeconds);
}

}  // namespace nc::test
