#include "transport/connection.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <span>
#include <vector>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
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

// The pieces after their first `count` bytes.
std::vector<asio::const_buffer> after(std::span<const asio::const_buffer> pieces, size_t count) {
  std::vector<asio::const_buffer> rest;
  for (const auto& piece : pieces) {
    if (count >= piece.size()) {
      count -= piece.size();
    } else {
      rest.push_back(piece + count);
      count = 0;
    }
  }
  return rest;
}

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::chrono::milliseconds writeTimeout)
    : socket_(std::move(socket)), writeTimeout_(writeTimeout) {
  std::error_code ignored;
  socket_.non_blocking(true, ignored);
}

// Writes without waiting as long as the socket takes bytes: one gathered
// write, the pieces in as few segments as the kernel allows, sent with
// MSG_NOSIGNAL so a vanished peer raises no SIGPIPE. Only a full socket
// buffer costs a wait, each one bounded by the write deadline.
asio::awaitable<void> Connection::send(std::span<const asio::const_buffer> pieces) {
  if (closed_) co_return;
  std::error_code error;
  size_t written = asio::write(socket_, pieces, error);
  std::vector<asio::const_buffer> rest;
  while (error == asio::error::would_block || (!error && written < asio::buffer_size(pieces))) {
    rest = after(pieces, written);
    pieces = rest;
    written = co_await writeSomeWithinDeadline(pieces, error);
  }
  if (!error) co_return;
  if (error != asio::error::timed_out && !isDisconnection(error)) throw std::system_error(error);
  close();
}

// Waits for the socket to take some bytes, by writing: Asio watches a socket
// for room only once a write has found it full. The kernel reports room only
// once a third of the send buffer is free, which a slow reader may take
// longer than the deadline to make; so at the deadline a send queue that
// shrank counts as progress. Fails with timed_out when the peer took nothing.
asio::awaitable<size_t> Connection::writeSomeWithinDeadline(std::span<const asio::const_buffer> pieces,
                                                            std::error_code& error) {
  using namespace asio::experimental::awaitable_operators;
  int queued = unsentBytes();
  for (;;) {
    asio::steady_timer deadline(socket_.get_executor(), writeTimeout_);
    std::error_code timerError;
    auto outcome = co_await (socket_.async_write_some(pieces, asio::redirect_error(asio::use_awaitable, error)) ||
                             deadline.async_wait(asio::redirect_error(asio::use_awaitable, timerError)));
    if (outcome.index() == 0) co_return std::get<0>(outcome);
    const int stillQueued = unsentBytes();
    if (stillQueued >= queued) break;
    queued = stillQueued;
  }
  error = asio::error::timed_out;
  co_return 0;
}

int Connection::unsentBytes() {
  int queued = 0;
  if (::ioctl(socket_.native_handle(), SIOCOUTQ, &queued) != 0) return 0;
  return queued;
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
