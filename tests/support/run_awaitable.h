// Runs coroutines to completion on a private event loop in the test thread.
#pragma once

#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

namespace nc::test {

// Runs `io` until the awaitable has finished (at most `limit`), then returns its
// value or rethrows its failure.
template <class T>
T runAwaitable(asio::io_context& io, asio::awaitable<T> task, std::chrono::seconds limit = std::chrono::seconds(20)) {
  std::exception_ptr failure;
  std::optional<T> value;
  bool done = false;
  asio::co_spawn(io, std::move(task), [&](std::exception_ptr e, T v) {
    failure = e;
    if (!e) value.emplace(std::move(v));
    done = true;
  });
  io.restart();
  io.run_for(limit);
  if (!done) throw std::runtime_error("the coroutine did not finish in time");
  if (failure) std::rethrow_exception(failure);
  return std::move(*value);
}

inline void runAwaitable(asio::io_context& io, asio::awaitable<void> task,
                         std::chrono::seconds limit = std::chrono::seconds(20)) {
  auto wrapped = [](asio::awaitable<void> inner) -> asio::awaitable<bool> {
    co_await std::move(inner);
    co_return true;
  };
  runAwaitable<bool>(io, wrapped(std::move(task)), limit);
}

}  // namespace nc::test
