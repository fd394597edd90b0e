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
#include "transport/header_memory.h"
#include "transport/http_types.h"
#include "transport/idle_connections.h"

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
  // Shared by every connection of the server: the total header charge, and
  // the connections waiting for their next request.
  std::shared_ptr<HeaderMemory> headerMemory;
  std::shared_ptr<IdleConnections> idleConnections;
};

// The header lines of one request may hold this much memory, each value
// charged as headerLineCost says. Browsers send under 8 KiB; the common static
// servers allow 8 to 32 KiB. Counting wire bytes instead would let a line of
// 8185 commas, 8186 empty values, hold four times what it sent.
inline constexpr size_t maxHeaderMemory = 64 * 1024;
// The header lines of one request may hold this many values. A browser's come
// to a few dozen. Storing an empty value costs little memory but some work,
// and a flood of connections that overfills the server's total, and so is
// closed for newcomers, makes that work again and again: without this limit a
// request at the memory cap could hold 13,000 empty values in 13 KB sent, a
// flood of which delayed every other request by 80 to 100 ms
// (bench/hostile_clients.py).
inline constexpr size_t maxHeaderValues = 2048;
// All connections together may hold this much header memory. Without a total,
// 1000 connections at the per-request cap alone would take 64 MB of a gateway
// with 256 MB. Past it, the connection that has held incomplete headers
// longest is closed to make room (transport/header_memory.h).
inline constexpr size_t maxTotalHeaderMemory = 16 * 1024 * 1024;
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
