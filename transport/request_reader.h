// Reads the requests of one accepted connection, one after another, and hands
// each well-formed one to the callback.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include <asio/awaitable.hpp>

#include "transport/async_http_server.h"
#include "transport/http_types.h"

namespace nc {

// More distinct header names than this in one request are refused.
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
asio::awaitable<void> serveConnection(std::shared_ptr<AsyncHttpServer> server,
                                      std::shared_ptr<const HttpCallback> callback,
                                      std::shared_ptr<Connection> connection, std::string peerAddress);

}  // namespace nc
