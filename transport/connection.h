// One accepted connection and the way requests arrive and replies leave on it.
//
// TLS runs OpenSSL straight on the socket's descriptor (SSL_set_fd), waiting
// for readiness with Asio's async_wait, rather than through Asio's
// ssl::stream. The stream keeps two 17 KB buffers and a memory BIO pair per
// connection whether it is busy or not (+71 MB for 1000 idle TLS connections);
// on the descriptor, SSL_MODE_RELEASE_BUFFERS gives an idle connection's
// record buffers back, and kernel TLS and SSL_sendfile stay possible later.
#pragma once

#include <chrono>
#include <span>
#include <string_view>
#include <system_error>

#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>

#include "transport/executable_file.h"

using ssl_st = struct ssl_st;

namespace nc {

// A reply whose peer takes no byte for this long is abandoned and the
// connection closed: a client that never reads would otherwise hold the
// connection, its descriptor and the reply's memory for good. A slow client
// that keeps taking bytes is never cut off.
inline constexpr std::chrono::milliseconds defaultWriteTimeout = std::chrono::seconds(30);

// Requests come in through readSome(); replies go out through send(), one
// gathered write per call, or with sendEmbedded() for a body compiled into the
// executable; a peer that has gone away, or that stops taking bytes, makes the
// write complete silently. After startTls() and a handshake(), the same calls
// read and write through TLS.
class Connection {
 public:
  explicit Connection(asio::ip::tcp::socket socket, std::chrono::milliseconds writeTimeout = defaultWriteTimeout);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Takes over `session`, a TLS session on this socket's descriptor.
  void startTls(ssl_st* session);
  bool isTls() const { return tls_ != nullptr; }
  // The server's side of the TLS handshake; false when it failed or the
  // connection closed. Its deadline is the caller's.
  asio::awaitable<bool> handshake();
  // Some bytes of the request stream; 0 with `error` set at its end or on failure.
  asio::awaitable<size_t> readSome(asio::mutable_buffer buffer, std::error_code& error);
  // Reads and drops what the peer still sends, into `scratch` when it must be copied out.
  asio::awaitable<size_t> discardSome(asio::mutable_buffer scratch, std::error_code& error);
  // Ends our direction of the stream (with TLS's close_notify first), reading stays open.
  void finishSending();

  // The pieces must stay valid until the returned awaitable completes.
  asio::awaitable<void> send(std::span<const asio::const_buffer> pieces);
  // The start of send() without its coroutine frame, for the writers of most
  // replies: writes what the socket takes at once. True when nothing is left
  // to do (all written, or the peer gone and the connection closed); false
  // with `written` set when sendRest() must finish, as for every TLS reply.
  bool sendAtOnce(std::span<const asio::const_buffer> pieces, size_t& written);
  asio::awaitable<void> sendRest(std::span<const asio::const_buffer> pieces, size_t written);
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
  // Whether the connection closes once the request being answered has its
  // reply, as the request asked (Connection: close, or HTTP/1.0 without
  // keep-alive); the reply then says so itself, as RFC 7230 section 6.6 asks,
  // and the client does not try to read another reply from it.
  void setClosesAfterReply(bool closes) { closesAfterReply_ = closes; }
  bool closesAfterReply() const { return closesAfterReply_; }
  // A connection that came in clear to a port that speaks TLS: its request is
  // answered only with a redirect to the same address over TLS.
  void setRedirectsToTls() { redirectsToTls_ = true; }
  bool redirectsToTls() const { return redirectsToTls_; }

 private:
  asio::ip::tcp::socket socket_;
  ssl_st* tls_ = nullptr;
  bool tlsBroken_ = false;        // the session failed or the peer ended it: no more TLS calls
  // OpenSSL's last read from the socket took less than it asked for, or
  // nothing: the socket was empty then, so the next TLS read with nothing
  // buffered waits for the socket first instead of trying a read that fails.
  bool socketDrained_ = false;
  bool closeNotifySent_ = false;  // our direction ended: nothing more is written
  std::chrono::milliseconds writeTimeout_;
  bool closed_ = false;
  bool answeringHead_ = false;
  bool closesAfterReply_ = false;
  bool redirectsToTls_ = false;
  void sendCloseNotify();
  asio::awaitable<void> sendTls(std::span<const asio::const_buffer> pieces);
  asio::awaitable<bool> writeTls(const char* bytes, size_t count);
  template <typename Call>
  int callTls(Call call);
  asio::awaitable<bool> awaitTls(int result, bool writing, std::error_code& error);
  asio::awaitable<void> sendWithFile(std::string_view head, FileSpan file, size_t count);
  asio::awaitable<size_t> writeWithinDeadline(std::span<const asio::const_buffer> pieces, std::error_code& error);
  asio::awaitable<size_t> writeOrAwaitRoom(std::span<const asio::const_buffer> pieces, std::error_code& error);
  asio::awaitable<void> awaitReadyWithinDeadline(asio::socket_base::wait_type wait, std::error_code& error);
  asio::awaitable<void> peerStalls();
  // Bytes sent but not yet taken by the peer.
  int unsentBytes();
};

}  // namespace nc
