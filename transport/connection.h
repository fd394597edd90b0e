// One accepted connection and the way replies leave on it.
#pragma once

#include <chrono>
#include <span>
#include <string_view>
#include <system_error>

#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>

#include "transport/executable_file.h"

namespace nc {

// A reply whose peer takes no byte for this long is abandoned and the
// connection closed: a client that never reads would otherwise hold the
// connection, its descriptor and the reply's memory for good. A slow client
// that keeps taking bytes is never cut off.
inline constexpr std::chrono::milliseconds defaultWriteTimeout = std::chrono::seconds(30);

// Replies go out through send(), one gathered write per call, or with
// sendEmbedded() for a body compiled into the executable; a peer that has
// gone away, or that stops taking bytes, makes the write complete silently.
class Connection {
 public:
  explicit Connection(asio::ip::tcp::socket socket, std::chrono::milliseconds writeTimeout = defaultWriteTimeout);

  // The pieces must stay valid until the returned awaitable completes.
  asio::awaitable<void> send(std::span<const asio::const_buffer> pieces);
  asio::awaitable<void> send(std::string_view bytes);
  // `head`, then `embedded`: bytes of the executable's read-only data, such
  // as the embedded web UI's files, which a large body leaves from the
  // executable file with sendfile() instead of being copied.
  asio::awaitable<void> sendEmbedded(std::string_view head, std::string_view embedded);
  void close();
  bool isClosed() const { return closed_; }
  asio::ip::tcp::socket& socket() { return socket_; }
  // Whether the request being answered is a HEAD, whose replies carry no
  // body; the request reader says so for each request.
  void setAnsweringHead(bool answeringHead) { answeringHead_ = answeringHead; }
  bool answeringHead() const { return answeringHead_; }

 private:
  asio::ip::tcp::socket socket_;
  std::chrono::milliseconds writeTimeout_;
  bool closed_ = false;
  bool answeringHead_ = false;
  // Whether SIGPIPE has been made safe for sendfile() (utils/pipe_signal.h);
  // checked once per connection rather than once per reply.
  bool pipeSignalPrepared_ = false;

  asio::awaitable<void> sendWithFile(std::string_view head, FileSpan file, size_t count);
  asio::awaitable<size_t> writeWithinDeadline(std::span<const asio::const_buffer> pieces, std::error_code& error);
  asio::awaitable<size_t> writeOrAwaitRoom(std::span<const asio::const_buffer> pieces, std::error_code& error);
  asio::awaitable<void> peerStalls();
  // Bytes sent but not yet taken by the peer.
  int unsentBytes();
};

}  // namespace nc
