// A mutex for coroutines on one event-loop thread: lock() suspends the caller
// until earlier holders have released it, in arrival order.
#pragma once

#include <deque>
#include <memory>
#include <utility>

#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

namespace nc {

class AsyncMutex;

// Holds the mutex until it goes away.
class AsyncLock {
 public:
  explicit AsyncLock(AsyncMutex* mutex) : mutex_(mutex) {}
  AsyncLock(AsyncLock&& other) noexcept : mutex_(std::exchange(other.mutex_, nullptr)) {}
  AsyncLock& operator=(AsyncLock&&) = delete;
  AsyncLock(const AsyncLock&) = delete;
  ~AsyncLock();

 private:
  AsyncMutex* mutex_;
};

class AsyncMutex {
 public:
  asio::awaitable<AsyncLock> lock();

 private:
  friend class AsyncLock;
  void unlock();

  bool locked_ = false;
  // Each waiter sleeps on its own timer; cancelling the timer wakes it.
  std::deque<std::shared_ptr<asio::steady_timer>> waiters_;
};

}  // namespace nc
