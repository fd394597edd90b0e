#include "src/forwarder/traffic_feed.h"

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace nc {

asio::awaitable<void> TrafficFeed::catchUp() {
  AsyncLock reading = co_await reading_.lock();
  const auto now = std::chrono::steady_clock::now();
  if (lastRead_ && now - *lastRead_ < readGap) co_return;
  if (unit_.empty()) {
    failure_ = unmanagedForwarderMessage;
    co_return;
  }
  const bool resumed = cursor_.has_value();
  JournalQuery query{unit_, cursor_, std::nullopt, std::chrono::seconds(trafficWindowSeconds)};
  size_t taken = 0;
  const JournalRead read = co_await readJournal(std::move(query), readLimits, [&](JournalEntry&& entry) {
    ++taken;
    take(std::move(entry));
  });
  failure_ = read.failure;
  if (resumed && taken == 0 && !read.failure.empty()) {
    cursor_.reset();
    skipUntilUs_ = lastTimeUs_;
  }
  lastRead_ = std::chrono::steady_clock::now();
}

void TrafficFeed::take(JournalEntry&& entry) {
  cursor_ = std::move(entry.cursor);
  if (entry.timeUs <= skipUntilUs_) return;
  skipUntilUs_ = 0;
  lastTimeUs_ = entry.timeUs;
  constexpr int64_t microseconds = 1'000'000;
  if (auto interval = parser_.take(entry.message, entry.timeUs / microseconds)) window_.add(*interval);
}

asio::awaitable<void> keepTrafficCurrent(std::shared_ptr<TrafficFeed> feed) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  for (;;) {
    co_await feed->catchUp();
    timer.expires_after(trafficReadPeriod);
    co_await timer.async_wait(asio::use_awaitable);
  }
}

}  // namespace nc
