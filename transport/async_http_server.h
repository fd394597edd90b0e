// HTTP/1.1 server side: binds, accepts, reads requests under fixed limits,
// answers malformed ones itself and hands well-formed ones to one callback.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include <asio/awaitable.hpp>
#include <asio/ip/address.hpp>

#include "transport/http_types.h"
#include "transport/reply_writing.h"
#include "transport/request_reader.h"
#include "transport/tls_context.h"

namespace nc {

// A client may keep a connection open between requests this long; an idle
// connection otherwise holds a descriptor forever.
inline constexpr std::chrono::milliseconds defaultIdleTimeout = std::chrono::seconds(60);
// Request line, headers and body must all arrive this long after the request's
// first byte, so that a client trickling bytes cannot hold a connection.
inline constexpr std::chrono::milliseconds defaultRequestTimeout = std::chrono::seconds(30);

// Connections one peer address may hold at once. A browser opens six to a
// host, so this leaves room for several operators behind one address (an SSH
// tunnel brings each of them from 127.0.0.1), while one client can no longer
// take the descriptors and the header memory that everyone shares. Loopback
// is not exempt: on a gateway, that is where the tunnels arrive.
inline constexpr int64_t defaultMaxConnectionsPerAddress = 64;

// A TLS client must have sent its hello and finished the handshake this long
// after being accepted: until then the connection holds a descriptor and a
// session without ever reaching the request deadlines.
inline constexpr std::chrono::milliseconds defaultHandshakeTimeout = std::chrono::seconds(10);

struct AsyncHttpServer {
  bool reuseAddr = true;
  int64_t maxBody = 0;
  int64_t maxFDs = 0;
  // Deadlines; tests shorten them.
  std::chrono::milliseconds idleTimeout = defaultIdleTimeout;
  std::chrono::milliseconds requestTimeout = defaultRequestTimeout;
  std::chrono::milliseconds writeTimeout = defaultWriteTimeout;
  std::chrono::milliseconds handshakeTimeout = defaultHandshakeTimeout;
  // Set: the port speaks TLS, and a client that starts in clear is only
  // redirected (Connection::redirectsToTls).
  std::shared_ptr<const TlsContext> tls;
  // A connection past it is closed as soon as it is accepted; tests lower it.
  int64_t maxConnectionsPerAddress = defaultMaxConnectionsPerAddress;
  // Shared by all connections; tests give it a smaller budget.
  std::shared_ptr<HeaderMemory> headerMemory = std::make_shared<HeaderMemory>(maxTotalHeaderMemory);
  std::shared_ptr<IdleConnections> idleConnections = std::make_shared<IdleConnections>();
  // Set by serve once the socket is listening; tests read the bound port.
  uint16_t boundPort = 0;
  // Connections currently open, in all and by peer address.
  int64_t openConnections = 0;
  std::unordered_map<asio::ip::address, int64_t> connectionsByAddress;
};

std::shared_ptr<AsyncHttpServer> newAsyncHttpServer(bool reuseAddr, int64_t maxBody);

// A bind, resolve or accept failure, with the operating system's error number.
// `additionalInfo` holds the resolver's own message, if any: for a name that
// does not resolve, getaddrinfo's text, with the error number 0 unless the
// resolver failed in a system call (EAI_SYSTEM), whose errno is kept.
class OsError : public std::system_error {
 public:
  OsError(std::error_code code, std::string additionalInfo = {});
  const std::string& additionalInfo() const { return additionalInfo_; }

 private:
  std::string additionalInfo_;
};

// Binds `address` (empty: every IPv4 interface) and `port` (0: any free port),
// listens and accepts forever. Fails with OsError if resolving or binding
// fails, or if accepting fails for a reason that waiting cannot cure. While
// openConnections + assumedDescriptorsPerRequest reaches maxFDs (a negative
// assumedDescriptorsPerRequest turns that off), or accept finds no descriptor
// left, the connections idle longest are closed a few at a time to make room;
// only when none is idle does accepting wait. A connection from an address
// that holds maxConnectionsPerAddress already is closed at once. With
// server->tls set, each connection first completes its TLS handshake within
// handshakeTimeout, or, starting with anything but a TLS record, is read in
// clear and marked for a redirect.
asio::awaitable<void> serve(std::shared_ptr<AsyncHttpServer> server, uint16_t port, HttpCallback callback,
                            std::string address, int assumedDescriptorsPerRequest);

}  // namespace nc
