#include "transport/connection.h"

#include <span>

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

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket) : socket_(std::move(socket)) {}

asio::awaitable<void> Connection::send(std::span<const asio::const_buffer> pieces) {
  if (closed_) co_return;
  // One gathered write: the pieces leave in as few segments as the kernel
  // allows, and Asio sends with MSG_NOSIGNAL so a vanished peer raises no SIGPIPE.
  std::error_code error;
  co_await asio::async_write(socket_, pieces, asio::redirect_error(asio::use_awaitable, error));
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
