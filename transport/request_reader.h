// Reads the requests of one accepted connection, one after another, and hands
// each well-formed one to the callback.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <asio/awaitable.hpp>

#include "transport/connection.h"
#include "transport/http_types.h"

namespace nc {

// The callback receives the request with its body read. The transport waits for
// it before reading the next request on the same connection. It must not fail.
using HttpCallback = std::function<asio::awaitable<void>(HttpRequest&)>;

// What the reader of one connection allows.
struct RequestLimits {
  int64_t maxBody = 0;
  // How long a client may keep an idle connection open between requests.
  std::chrono::milliseconds idleTimeout{};
  // How long a request may take to arrive whole, from its first byte.
  std::chrono::milliseconds requestTimeout{};
};

// More distinct header names than this in one request are refused. Each name
// costs a stored entry and an index slot, and the byte total below alone would
// still let one request carry some fifty thousand one-letter names; browsers
// send a few dozen.
inline constexpr size_t maxHeaderNames = 10000;
// Header lines of one request may total this many characters; without a total,
// 10000 lines of 8192 characters would cost 80 MB per connection.
inline constexpr size_t maxHeaderBytes = 256 * 1024;
// Bytes taken from the socket per read: a whole ordinary request in one go.
inline constexpr size_t readBufferSize = 4000;
// After an error reply the client's unread rest is dropped for at most this
// long and this much, so the reply is not lost to a reset, yet a client that
// keeps sending cannot hold the connection open.
inline constexpr std::chrono::milliseconds lingerTimeout{2000};
inline constexpr size_t maxLingerBytes = 1 << 20;

// Serves the requests of one accepted connection until it closes or a deadline
// passes, then closes it.
asio::awaitable<void> serveConnection(RequestLimits limits, std::shared_ptr<const HttpCallback> callback,
                                      std::shared_ptr<Connection> connection, std::string peerAddress);

}  // namespace nc
