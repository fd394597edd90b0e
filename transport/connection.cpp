#include "transport/connection.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "transport/executable_file.h"
#include "utils/pipe_signal.h"

namespace nc {
namespace {

using Clock = std::chrono::steady_clock;

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

// An embedded body this large leaves with sendfile() from the executable file:
// the kernel then takes the pages it already holds for the executable instead
// of a copy of them, which for the web UI's scripts was most of what a reply
// cost. The large file at 50 connections (bench/run.sh) went from 0.59 times
// lighttpd's requests per server CPU-second with copies to 1.14 to 1.39 times
// with sendfile() and the turns below. Below it the copy is cheaper than the
// extra calls.
constexpr size_t zeroCopyMinimum = 64 * 1024;

// Such a body leaves this much at a time, and between two turns the other
// connections run: one thread serves everyone, and a fast reader of a large
// file would otherwise hold it for the whole file (lighttpd's write limit and
// nginx's sendfile_max_chunk do the same). On loopback, with the 522 KB
// console script at 50 connections, the server's requests per CPU-second went
// from 0.87-0.92 to 1.14-1.39 times lighttpd's; the CPU of both cores per
// reply, wrk's included, stayed the same, so the gain is work the kernel no
// longer charges to the server. 64 KiB measured noisier, 256 KiB in between.
constexpr size_t fileTurn = 128 * 1024;

// The largest TLS record's payload: a reply up to this size is sent as one.
constexpr size_t tlsRecordSize = 16 * 1024;

// A blocked write looks this often per write deadline whether the peer has
// taken bytes, so that the deadline counts from the last byte taken to within
// a sixtieth of it: half a second of 30 s.
constexpr int progressChecksPerDeadline = 60;

// Notes, after each read OpenSSL makes from the socket, whether that read
// emptied it (see socketDrained_).
long noteSocketRead(BIO* bio, int operation, const char*, size_t asked, int, long, int result, size_t* got) {
  if (operation == (BIO_CB_READ | BIO_CB_RETURN)) {
    *reinterpret_cast<bool*>(BIO_get_callback_arg(bio)) = result <= 0 || *got < asked;
  }
  return result;
}

// sendfile() has no MSG_NOSIGNAL: the SIGPIPE it raises on meeting a peer that
// has gone is let pass, and the call reports EPIPE.
ssize_t sendFileQuietly(int socket, const FileSpan& file, off_t& offset, size_t count) {
  const QuietPipeWrite quiet;
  return ::sendfile(socket, file.descriptor, &offset, count);
}

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::chrono::milliseconds writeTimeout)
    : socket_(std::move(socket)), writeTimeout_(writeTimeout) {
  std::error_code ignored;
  socket_.non_blocking(true, ignored);
}

Connection::~Connection() { SSL_free(tls_); }

void Connection::startTls(ssl_st* session) {
  SSL_free(tls_);
  tls_ = session;
  BIO* socket = SSL_get_rbio(tls_);
  BIO_set_callback_arg(socket, reinterpret_cast<char*>(&socketDrained_));
  BIO_set_callback_ex(socket, noteSocketRead);
  letQuietPipeSignalsPass();
}

// OpenSSL writes to the descriptor with write(), which raises SIGPIPE on a
// vanished peer; and SSL_get_error reads the thread's error queue, which
// must be empty before each call. It nearly always is (a failure's errors are
// cleared where it is met), and clearing rewrites every slot of the queue,
// so the queue is only looked at first.
template <typename Call>
int Connection::callTls(Call call) {
  if (ERR_peek_error() != 0) ERR_clear_error();
  const QuietPipeWrite quiet;
  return call();
}

// After a TLS call that did not complete: waits for what OpenSSL asked for,
// a write within the write deadline. False, with `error` set, when the session
// ended or failed; the session is then past use, and no close_notify follows.
asio::awaitable<bool> Connection::awaitTls(int result, bool writing, std::error_code& error) {
  const int reason = SSL_get_error(tls_, result);
  if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
    const auto wait = reason == SSL_ERROR_WANT_READ ? asio::socket_base::wait_read : asio::socket_base::wait_write;
    if (writing) {
      co_await awaitReadyWithinDeadline(wait, error);
    } else {
      co_await socket_.async_wait(wait, asio::redirect_error(asio::use_awaitable, error));
    }
    if (!error && closed_) error = asio::error::operation_aborted;
    co_return !error;
  }
  ERR_clear_error();
  tlsBroken_ = true;
  if (reason == SSL_ERROR_ZERO_RETURN) {
    error = asio::error::eof;
  } else {
    error = asio::error::connection_reset;
  }
  co_return false;
}

asio::awaitable<bool> Connection::handshake() {
  std::error_code error;
  while (!closed_) {
    const int result = callTls([this] { return SSL_do_handshake(tls_); });
    if (result == 1) {
      // From now on only reads need the note (see readSome): OpenSSL passes
      // every call on the socket's BIO through the callback, a write's
      // flushes and queries included.
      BIO_set_callback_ex(SSL_get_rbio(tls_), nullptr);
      co_return true;
    }
    if (!co_await awaitTls(result, false, error)) break;
  }
  co_return false;
}

// Bytes OpenSSL holds already are read before the socket is waited on.
asio::awaitable<size_t> Connection::readSome(asio::mutable_buffer buffer, std::error_code& error) {
  if (tls_ == nullptr) {
    co_return co_await socket_.async_read_some(buffer, asio::redirect_error(asio::use_awaitable, error));
  }
  // After our close_notify the peer may still send: a refused client's rest is read and dropped.
  while (!closed_ && !tlsBroken_) {
    // Between kept-alive requests this spares a failing read per request.
    if (socketDrained_ && SSL_has_pending(tls_) == 0) {
      co_await socket_.async_wait(asio::socket_base::wait_read, asio::redirect_error(asio::use_awaitable, error));
      if (!error && closed_) error = asio::error::operation_aborted;
      if (error) co_return 0;
      socketDrained_ = false;
    }
    size_t got = 0;
    BIO* socket = SSL_get_rbio(tls_);
    BIO_set_callback_ex(socket, noteSocketRead);
    const int result = callTls([&] { return SSL_read_ex(tls_, buffer.data(), buffer.size(), &got); });
    BIO_set_callback_ex(socket, nullptr);
    if (result == 1) co_return got;
    if (!co_await awaitTls(result, false, error)) co_return 0;
  }
  error = asio::error::eof;
  co_return 0;
}

// In clear the kernel drops the bytes without copying them (MSG_TRUNC);
// through TLS they must be decrypted to find where they end.
asio::awaitable<size_t> Connection::discardSome(asio::mutable_buffer scratch, std::error_code& error) {
  if (tls_ != nullptr) co_return co_await readSome(scratch, error);
  co_return co_await socket_.async_receive(scratch, MSG_TRUNC, asio::redirect_error(asio::use_awaitable, error));
}

void Connection::finishSending() {
  sendCloseNotify();
  std::error_code ignored;
  socket_.shutdown(asio::socket_base::shutdown_send, ignored);
}

void Connection::sendCloseNotify() {
  if (tls_ != nullptr && !tlsBroken_ && !closeNotifySent_ && !closed_ && SSL_is_init_finished(tls_)) {
    callTls([this] { return SSL_shutdown(tls_); });
    ERR_clear_error();
  }
  closeNotifySent_ = true;
}

// Writes without waiting as long as the socket takes bytes: one gathered
// write, the pieces in as few segments as the kernel allows, sent with
// MSG_NOSIGNAL so a vanished peer raises no SIGPIPE. Only a full socket
// buffer costs a wait, each one bounded by the write deadline. The bytes are
// copied wherever they lie; only sendEmbedded looks at the executable.
asio::awaitable<void> Connection::send(std::span<const asio::const_buffer> pieces) {
  size_t written = 0;
  if (!sendAtOnce(pieces, written)) co_await sendRest(pieces, written);
}

bool Connection::sendAtOnce(std::span<const asio::const_buffer> pieces, size_t& written) {
  written = 0;
  if (closed_) return true;
  if (tls_ != nullptr) return false;
  std::error_code error;
  written = asio::write(socket_, pieces, error);
  if (error == asio::error::would_block || (!error && written < asio::buffer_size(pieces))) return false;
  if (!error) return true;
  if (!isDisconnection(error)) throw std::system_error(error);
  close();
  return true;
}

asio::awaitable<void> Connection::sendRest(std::span<const asio::const_buffer> pieces, size_t written) {
  if (closed_) co_return;
  if (tls_ != nullptr) {
    co_await sendTls(pieces);
    co_return;
  }
  std::error_code error;
  std::vector<asio::const_buffer> rest;
  while (error == asio::error::would_block || (!error && written < asio::buffer_size(pieces))) {
    rest = after(pieces, written);
    pieces = rest;
    written = co_await writeWithinDeadline(pieces, error);
  }
  if (!error) co_return;
  if (error != asio::error::timed_out && !isDisconnection(error)) throw std::system_error(error);
  close();
}

asio::awaitable<void> Connection::send(std::string_view bytes) {
  const asio::const_buffer piece = asio::buffer(bytes);
  co_await send(std::span(&piece, 1));
}

// A small body, or one the executable file does not hold as loaded (a packed
// or rewritten executable), is copied like any other; so is every body sent
// through TLS, which OpenSSL encrypts in user space (kernel TLS, which could
// take a file, is not set up).
asio::awaitable<void> Connection::sendEmbedded(std::string_view head, std::string_view embedded) {
  const std::optional<FileSpan> file = embedded.size() >= zeroCopyMinimum && tls_ == nullptr
                                           ? executableFileSpan(embedded.data(), embedded.size())
                                           : std::nullopt;
  if (file && !closed_) {
    co_await sendWithFile(head, *file, embedded.size());
  } else {
    const std::array<asio::const_buffer, 2> pieces{asio::buffer(head), asio::buffer(embedded)};
    co_await send(pieces);
  }
}

// The head, marked as having more to follow so that it shares packets with
// the file's first bytes, then those bytes.
asio::awaitable<void> Connection::sendWithFile(std::string_view head, FileSpan file, size_t count) {
  std::error_code error;
  const size_t written = socket_.send(asio::buffer(head), MSG_MORE, error);
  if (written < head.size()) {
    // A full socket buffer, or a peer gone: the plain path waits or gives up.
    co_await send(head.substr(written));
    error = {};
  }
  letQuietPipeSignalsPass();
  off_t offset = file.offset;
  while (!closed_ && count > 0) {
    const ssize_t sent = sendFileQuietly(socket_.native_handle(), file, offset, std::min(count, fileTurn));
    if (sent > 0) {
      count -= static_cast<size_t>(sent);
      if (count > 0) co_await asio::post(socket_.get_executor(), asio::use_awaitable);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && errno == EAGAIN) {
      co_await writeWithinDeadline({}, error);
      if (error) break;
    } else {
      // Nothing read means the executable is shorter than its own segments
      // say: no fault of the peer's, so it fails rather than closing quietly.
      error = std::error_code(sent == 0 ? EIO : errno, asio::error::get_system_category());
      break;
    }
  }
  if (!error) co_return;
  if (error != asio::error::timed_out && !isDisconnection(error)) throw std::system_error(error);
  close();
}

// A head and a small body go out as one record; a large body in turns of
// fileTurn bytes, the other connections served between two turns, as for
// sendfile().
asio::awaitable<void> Connection::sendTls(std::span<const asio::const_buffer> pieces) {
  const size_t total = asio::buffer_size(pieces);
  if (pieces.size() > 1 && total <= tlsRecordSize) {
    std::string joined;
    joined.reserve(total);
    for (const auto& piece : pieces) joined.append(static_cast<const char*>(piece.data()), piece.size());
    if (!co_await writeTls(joined.data(), joined.size())) close();
    co_return;
  }
  for (const auto& piece : pieces) {
    const auto* bytes = static_cast<const char*>(piece.data());
    for (size_t done = 0; done < piece.size();) {
      const size_t turn = std::min(piece.size() - done, fileTurn);
      if (!co_await writeTls(bytes + done, turn)) {
        close();
        co_return;
      }
      done += turn;
      if (done < piece.size()) co_await asio::post(socket_.get_executor(), asio::use_awaitable);
    }
  }
}

// False when the peer is gone, stalled past the write deadline, or broke the session.
asio::awaitable<bool> Connection::writeTls(const char* bytes, size_t count) {
  std::error_code error;
  while (!closed_ && !tlsBroken_ && !closeNotifySent_) {
    size_t written = 0;
    const int result = callTls([&] { return SSL_write_ex(tls_, bytes, count, &written); });
    if (result == 1) co_return true;
    if (!co_await awaitTls(result, true, error)) co_return false;
  }
  co_return false;
}

// Waits for the peer to take bytes: writes the pieces, or with none, waits
// for room for a writer that is not Asio's. Fails with timed_out once the
// peer has taken nothing for the write deadline. The write is cancelled only
// then: one cancelled after it had taken effect would leave its bytes
// unaccounted for, to be sent twice.
asio::awaitable<size_t> Connection::writeWithinDeadline(std::span<const asio::const_buffer> pieces,
                                                        std::error_code& error) {
  using namespace asio::experimental::awaitable_operators;
  auto outcome = co_await (writeOrAwaitRoom(pieces, error) || peerStalls());
  if (outcome.index() == 0) co_return std::get<0>(outcome);
  error = asio::error::timed_out;
  co_return 0;
}

// Asio watches a socket for room only once a write has found it full, so
// without pieces it waits for room alone.
asio::awaitable<size_t> Connection::writeOrAwaitRoom(std::span<const asio::const_buffer> pieces,
                                                     std::error_code& error) {
  if (!pieces.empty()) {
    co_return co_await socket_.async_write_some(pieces, asio::redirect_error(asio::use_awaitable, error));
  }
  co_await socket_.async_wait(asio::socket_base::wait_write, asio::redirect_error(asio::use_awaitable, error));
  co_return 0;
}

asio::awaitable<void> Connection::awaitReadyWithinDeadline(asio::socket_base::wait_type wait,
                                                          std::error_code& error) {
  using namespace asio::experimental::awaitable_operators;
  auto outcome = co_await (socket_.async_wait(wait, asio::redirect_error(asio::use_awaitable, error)) || peerStalls());
  if (outcome.index() == 1) error = asio::error::timed_out;
}

// Completes once the peer has taken no byte for the write deadline. The
// kernel reports room only once a third of the send buffer is free, which a
// slow reader may take longer than the deadline to make; so the send queue is
// looked at along the way, and each time it has shrunk the deadline starts
// again.
asio::awaitable<void> Connection::peerStalls() {
  const auto checkInterval = writeTimeout_ / progressChecksPerDeadline;
  asio::steady_timer check(socket_.get_executor());
  int queued = unsentBytes();
  Clock::time_point lastTaken = Clock::now();
  while (Clock::now() - lastTaken < writeTimeout_) {
    check.expires_at(std::min(Clock::now() + checkInterval, lastTaken + writeTimeout_));
    std::error_code cancelled;
    co_await check.async_wait(asio::redirect_error(asio::use_awaitable, cancelled));
    if (cancelled) co_return;
    const int stillQueued = unsentBytes();
    if (stillQueued < queued) lastTaken = Clock::now();
    queued = stillQueued;
  }
}

int Connection::unsentBytes() {
  int queued = 0;
  if (::ioctl(socket_.native_handle(), SIOCOUTQ, &queued) != 0) return 0;
  return queued;
}

void Connection::close() {
  if (closed_) return;
  // The close ends our direction too: only TLS has something to say first.
  if (tls_ != nullptr) sendCloseNotify();
  closed_ = true;
  std::error_code ignored;
  socket_.close(ignored);
}

}  // namespace nc
