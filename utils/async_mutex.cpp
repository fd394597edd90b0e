#include "utils/async_mutex.h"

#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace nc {

AsyncLock::~AsyncLock() {
  if (mutex_) mutex_->unlock();
}

asio::awaitable<AsyncLock> AsyncMutex::lock() {
  if (!locked_) {
    locked_ = true;
    co_return AsyncLock(this);
  }
  auto timer = std::make_shared<asio::steady_timer>(co_await asio::this_coro::executor,
                                                    asio::steady_timer::time_point::max());
  waiters_.push_back(timer);
  std::error_code ignored;
  co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  // unlock() handed the mutex over without releasing it.
  co_return AsyncLock(this);
}

void AsyncMutex::unlock() {
  if (waiters_.empty()) {
    locked_ = false;
    return;
  }
  auto next = waiters_.front();
  waiters_.pop_front();
  next->cancel();
}

}  // namespace nc
