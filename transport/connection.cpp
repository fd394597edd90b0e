#include <span>

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "transport/http_types.h"

namespace nc {
namespace {

// Errors that only mean the peer is gone (or that we closed the socket
// ourselves); a reply to nobody is not a failure.
bool isDisconnection(const std::error_code& error) {
  return error == asio::error::broken_pipe || error == asio::error::connection_reset ||
         error == asio::error::eof || error == asio::error::operation_aborted ||
         error == asio::error::bad_descriptor || error == asio::error::not_connected ||
         error == asio::error::shut_down;
}

// Drops the first `sent` bytes from the front of `pieces`.
void dropSent(std::vector<asio::const_buffer>& pieces, size_t sent) {
  auto piece = pieces.begin();
  for (; piece != pieces.end() && sent >= piece->size(); ++piece) sent -= piece->size();
  if (piece != pieces.end()) *piece += sent;
  pieces.erase(pieces.begin(), piece);
}

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket) : socket_(std::move(socket)) {
  // Writes below must come back with would_block instead of waiting.
  std::error_code ignored;
  socket_.non_blocking(true, ignored);
}

asio::awaitable<void> Connection::send(std::vector<asio::const_buffer> pieces) {
  if (closed_) co_return;
  // One gathered write: the pieces leave in as few segments as the kernel
  // allows, and Asio sends with MSG_NOSIGNAL so a vanished peer raises no SIGPIPE.
  // A reply that fits the send buffer goes out at once; only the rest waits for
  // the event loop, whose detour would cost a posted completion and an extra
  // epoll_wait per reply.
  std::error_code error;
  // Through a span: Asio copies the buffer sequence it writes from, and a
  // vector copy would allocate.
  size_t sent = asio::write(socket_, std::span<const asio::const_buffer>(pieces), error);
  if (error == asio::error::would_block) {
    dropSent(pieces, sent);
    error.clear();
    co_await asio::async_write(socket_, pieces, asio::redirect_error(asio::use_awaitable, error));
  }
  if (!error) co_return;
  if (!isDisconnection(error)) throw std::system_error(error);
  close();
}

asio::awaitable<void> Connection::send(std::string_view bytes) {
  std::vector<asio::const_buffer> pieces{asio::buffer(bytes)};
  co_await send(std::move(pieces));
}

void Connection::close() {
  if (closed_) return;
  closed_ = true;
  std::error_code ignored;
  socket_.close(ignored);
}

}  // namespace nc
