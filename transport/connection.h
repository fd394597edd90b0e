// One accepted connection and the way replies leave on it.
#pragma once

#include <span>
#include <string_view>

#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>

namespace nc {

// Replies go out through send(), one gathered write per call; a peer that has
// gone away makes the write complete silently.
class Connection {
 public:
  explicit Connection(asio::ip::tcp::socket socket);

  // The pieces must stay valid until the returned awaitable completes.
  asio::awaitable<void> send(std::span<const asio::const_buffer> pieces);
  asio::awaitable<void> send(std::string_view bytes);
  void close();
  bool isClosed() const { return closed_; }
  asio::ip::tcp::socket& socket() { return socket_; }

 private:
  asio::ip::tcp::socket socket_;
  bool closed_ = false;
};

}  // namespace nc
