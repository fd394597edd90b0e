// HTTP/1.1 server side: binds, accepts, reads requests under fixed limits,
// answers malformed ones itself and hands well-formed ones to one callback.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include <asio/awaitable.hpp>

#include "transport/http_types.h"
#include "transport/reply_writing.h"
#include "transport/request_reader.h"

namespace nc {

// A client may keep a connection open between requests this long; an idle
// connection otherwise holds a descriptor forever.
inline constexpr std::chrono::milliseconds defaultIdleTimeout = std::chrono::seconds(60);
// Request line, headers and body must all arrive this long after the request's
// first byte, so that a client trickling bytes cannot hold a connection.
inline constexpr std::chrono::milliseconds defaultRequestTimeout = std::chrono::seconds(30);

struct AsyncHttpServer {
  bool reuseAddr = true;
  int64_t maxBody = 0;
  int64_t maxFDs = 0;
  // Deadlines; tests shorten them.
  std::chrono::milliseconds idleTimeout = defaultIdleTimeout;
  std::chrono::milliseconds requestTimeout = defaultRequestTimeout;
  std::chrono::milliseconds writeTimeout = defaultWriteTimeout;
  // Shared by all connections; tests give it a smaller budget.
  std::shared_ptr<HeaderMemory> headerMemory = std::make_shared<HeaderMemory>(maxTotalHeaderMemory);
  std::shared_ptr<IdleConnections> idleConnections = std::make_shared<IdleConnections>();
  // Set by serve once the socket is listening; tests read the bound port.
  uint16_t boundPort = 0;
  // Connections currently open.
  int64_t openConnections = 0;
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
// only when none is idle does accepting wait.
asio::awaitable<void> serve(std::shared_ptr<AsyncHttpServer> server, uint16_t port, HttpCallback callback,
                            std::string address, int assumedDescriptorsPerRequest);

}  // namespace nc
