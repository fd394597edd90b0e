#include "transport/connection.h"

#include <span>
#include <vector>

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

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

// What is left of `pieces` after their first `sent` bytes.
std::vector<asio::const_buffer> unsent(std::span<const asio::const_buffer> pieces, size_t sent) {
  auto piece = pieces.begin();
  for (; piece != pieces.end() && sent >= piece->size(); ++piece) sent -= piece->size();
  std::vector<asio::const_buffer> rest(piece, pieces.end());
  if (!rest.empty()) rest.front() += sent;
  return rest;
}

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket) : socket_(std::move(socket)) {
  // Writes below must come back with would_block instead of waiting.
  std::error_code ignored;
  socket_.non_blocking(true, ignored);
}

asio::awaitable<void> Connection::send(std::span<const asio::const_buffer> pieces) {
  if (closed_) co_return;
  // One gathered write: the pieces leave in as few segments as the kernel
  // allows, and Asio sends with MSG_NOSIGNAL so a vanished peer raises no SIGPIPE.
  // A reply that fits the send buffer goes out at once in one sendmsg; only
  // the rest waits for the event loop, whose detour would cost a posted
  // completion and an extra epoll_wait per reply. (asio::write would wrap even
  // the single sendmsg in its loop machinery, which cost more than the call.)
  std::error_code error;
  size_t sent = socket_.write_some(pieces, error);
  if (error == asio::error::would_block || (!error && sent < asio::buffer_size(pieces))) {
    std::vector<asio::const_buffer> rest = unsent(pieces, sent);
    error.clear();
    co_await asio::async_write(socket_, rest, asio::redirect_error(asio::use_awaitable, error));
  }
  if (!error) co_return;
  if (!isDisconnection(error)) throw std::system_error(error);
  close();
}

asio::awaitable<void> Connection::send(std::string_view bytes) {
  const asio::const_buffer piece = asio::buffer(bytes);
  co_await send(std::span(&piece, 1));
}

void Connection::close() {
  if (closed_) return;
  closed_ = true;
  std::error_code ignored;
  socket_.close(ignored);
}

}  // namespace nc
