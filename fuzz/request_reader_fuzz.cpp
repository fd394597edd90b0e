// The whole request reader of one connection, fed the input as a client's
// bytes: the client sends everything in pieces, ends its stream and reads
// until the service closes. Every request the reader hands on must be within the limits.
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <asio/co_spawn.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "fuzz/fuzz_check.h"
#include "transport/connection.h"
#include "transport/idle_connections.h"
#include "transport/reply_writing.h"
#include "transport/request_parsing.h"
#include "transport/request_reader.h"

namespace nc::fuzz {
namespace {

using asio::ip::tcp;

// The service's own body limit.
constexpr int64_t maxBody = 4096;
// Short deadlines, so that an input that leaves the reader waiting costs a
// moment rather than the service's half minute.
constexpr std::chrono::milliseconds deadline{100};
// Far beyond every deadline of the reader: not done by then means it hangs.
constexpr std::chrono::seconds hang{20};

asio::awaitable<void> echo(HttpRequest& request) {
  check(request.body.size() <= size_t(maxBody), "no body beyond the limit reaches the handler");
  check(!request.headers.contains("transfer-encoding"), "no request framed by Transfer-Encoding reaches the handler");
  // Every stored name is charged at least headerNameOverhead.
  check(request.headers.size() <= maxHeaderMemory / headerNameOverhead,
        "no more header names than the header memory allows reach the handler");
  co_await respond(request, 200, request.body, {{"content-type", "text/plain"}});
}

// Sends the bytes `piece` at a time, letting the reader run between pieces,
// so that lines and bodies arrive split across reads.
asio::awaitable<void> sendAll(tcp::socket& socket, std::string_view bytes, size_t piece) {
  std::error_code error;
  while (!bytes.empty() && !error) {
    const std::string_view chunk = bytes.substr(0, piece);
    bytes.remove_prefix(chunk.size());
    co_await asio::async_write(socket, asio::buffer(chunk), asio::redirect_error(asio::use_awaitable, error));
    co_await asio::post(socket.get_executor(), asio::use_awaitable);
  }
  socket.shutdown(tcp::socket::shutdown_send, error);
}

asio::awaitable<void> readUntilClosed(tcp::socket& socket) {
  char buffer[4096];
  for (std::error_code error; !error;) {
    co_await socket.async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
  }
}

asio::awaitable<void> client(tcp::socket& socket, std::string_view bytes, size_t piece) {
  using namespace asio::experimental::awaitable_operators;
  co_await (sendAll(socket, bytes, piece) && readUntilClosed(socket));
}

void reportFailure(std::exception_ptr failure) {
  if (!failure) return;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failure: %s\n", e.what());
  } catch (...) {
  }
}

struct Fixture {
  asio::io_context io;
  RequestLimits limits{maxBody, deadline, deadline, std::make_shared<HeaderMemory>(maxTotalHeaderMemory),
                       std::make_shared<IdleConnections>()};
  std::shared_ptr<const HttpCallback> callback = std::make_shared<const HttpCallback>(echo);
};

}  // namespace
}  // namespace nc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc;
  using namespace nc::fuzz;
  static Fixture fixture;
  if (size == 0) return 0;
  // A connected pair of stream sockets stands in for an accepted TCP
  // connection: the reader only reads, writes and shuts down, and a pair
  // needs no port and leaves nothing behind.
  int ends[2];
  check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0, "a socket pair can be made");
  tcp::socket serverEnd(fixture.io), clientEnd(fixture.io);
  serverEnd.assign(tcp::v4(), ends[0]);
  clientEnd.assign(tcp::v4(), ends[1]);
  auto connection = std::make_shared<Connection>(std::move(serverEnd));

  bool served = false, clientDone = false;
  asio::co_spawn(fixture.io, serveConnection(fixture.limits, fixture.callback, connection, "127.0.0.1"),
                 [&](std::exception_ptr failure) {
                   reportFailure(failure);
                   check(!failure, "the reader ends without a failure");
                   served = true;
                 });
  // The first byte says in what pieces the rest arrives: 1 to 64 bytes, or all
  // at once. The seeds are the request parsing target's.
  const size_t piece = data[0] < 192 ? 1 + data[0] % 64 : size;
  asio::co_spawn(fixture.io, client(clientEnd, textOf(data + 1, size - 1), piece), [&](std::exception_ptr failure) {
    check(!failure, "the client ends without a failure");
    clientDone = true;
  });
  fixture.io.restart();
  fixture.io.run_for(hang);
  check(served && clientDone, "the connection ends by its deadlines");
  check(connection->isClosed(), "the reader closes the connection when it is done");
  check(fixture.limits.headerMemory->inUse() == 0, "a closed connection holds no header memory");
  return 0;
}
