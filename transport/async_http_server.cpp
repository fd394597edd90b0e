#include "transport/async_http_server.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <limits>

#include <asio/co_spawn.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "transport/request_reader.h"

namespace nc {
namespace {

using asio::ip::tcp;

// Connections the kernel may queue before we accept them; the usual somaxconn ceiling.
constexpr int listenBacklog = 4096;
// How long the accept loop rests while descriptors or kernel memory run short.
constexpr std::chrono::milliseconds throttleWait{500};
// Descriptor budget when the process limit cannot be read.
constexpr int64_t fallbackDescriptorBudget = 16000;

int64_t descriptorBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return fallbackDescriptorBudget;
  constexpr auto largest = static_cast<rlim_t>(std::numeric_limits<int64_t>::max());
  return static_cast<int64_t>(std::min(limit.rlim_cur, largest)) - 1;
}

tcp::endpoint resolveEndpoint(const asio::any_io_executor& executor, const std::string& address, uint16_t port) {
  if (address.empty()) return {asio::ip::address_v4::any(), port};
  std::error_code error;
  auto literal = asio::ip::make_address_v4(address, error);
  if (!error) return {literal, port};
  // Resolved synchronously: Asio's asynchronous resolver runs a thread of its own.
  tcp::resolver resolver(executor);
  auto results = resolver.resolve(tcp::v4(), address, std::to_string(port), error);
  if (error) throw OsError(error, error.message());
  if (results.empty()) throw OsError(asio::error::host_not_found, "no IPv4 address for " + address);
  return results.begin()->endpoint();
}

tcp::acceptor openAcceptor(const asio::any_io_executor& executor, const tcp::endpoint& endpoint,
                           const AsyncHttpServer& server) {
  tcp::acceptor acceptor(executor);
  try {
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(server.reuseAddr));
    acceptor.bind(endpoint);
    acceptor.listen(listenBacklog);
  } catch (const std::system_error& e) {
    throw OsError(e.code());
  }
  return acceptor;
}

// Linux reports some failures of the pending connection itself through
// accept(2); its manual says to retry on them.
bool concernsOneConnection(const std::error_code& error) {
  if (error.category() != asio::error::get_system_category()) return false;
  switch (error.value()) {
    case ECONNABORTED: case EPROTO: case ENOPROTOOPT: case EHOSTDOWN: case ENONET: case EHOSTUNREACH:
    case EOPNOTSUPP: case ENETUNREACH: case ENETDOWN: case EPERM: case EINTR:
      return true;
    default:
      return false;
  }
}

// Shortages that pass once other connections close.
bool isShortage(const std::error_code& error) {
  if (error.category() != asio::error::get_system_category()) return false;
  return error.value() == EMFILE || error.value() == ENFILE || error.value() == ENOBUFS || error.value() == ENOMEM;
}

asio::awaitable<void> rest(asio::steady_timer& timer) {
  timer.expires_after(throttleWait);
  co_await timer.async_wait(asio::use_awaitable);
}

// The next connection; failures that end only that connection, or pass with
// time, do not end the server.
asio::awaitable<tcp::socket> acceptOne(tcp::acceptor& acceptor, asio::steady_timer& timer) {
  for (;;) {
    std::error_code error;
    tcp::socket socket = co_await acceptor.async_accept(asio::redirect_error(asio::use_awaitable, error));
    if (!error) co_return socket;
    if (isShortage(error)) {
      co_await rest(timer);
    } else if (!concernsOneConnection(error)) {
      throw OsError(error);
    }
  }
}

// The text of an unexpected failure goes to standard output, never to the client.
void reportFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
  } catch (...) {
    std::printf("unknown failure\n");
  }
  std::fflush(stdout);
}

void spawnConnection(const std::shared_ptr<AsyncHttpServer>& server, const std::shared_ptr<const HttpCallback>& callback,
                     tcp::socket socket) {
  std::error_code ignored;
  // Replies go out in one write each, so Nagle's delay would only add latency.
  socket.set_option(tcp::no_delay(true), ignored);
  auto peer = socket.remote_endpoint(ignored);
  std::string peerAddress = ignored ? std::string() : peer.address().to_string();
  auto executor = socket.get_executor();
  auto connection = std::make_shared<Connection>(std::move(socket));
  ++server->openConnections;
  // A failure of one connection ends that connection only.
  RequestLimits limits{server->maxBody, server->idleTimeout, server->requestTimeout};
  asio::co_spawn(executor, serveConnection(limits, callback, connection, std::move(peerAddress)),
                 [server, connection](std::exception_ptr failure) {
                   --server->openConnections;
                   connection->close();
                   if (failure) reportFailure(failure);
                 });
}

}  // namespace

OsError::OsError(std::error_code code, std::string additionalInfo)
    : std::system_error(code), additionalInfo_(std::move(additionalInfo)) {}

std::shared_ptr<AsyncHttpServer> newAsyncHttpServer(bool reuseAddr, int64_t maxBody) {
  auto server = std::make_shared<AsyncHttpServer>();
  server->reuseAddr = reuseAddr;
  server->maxBody = maxBody;
  return server;
}

asio::awaitable<void> serve(std::shared_ptr<AsyncHttpServer> server, uint16_t port, HttpCallback callback,
                            std::string address, int assumedDescriptorsPerRequest) {
  auto executor = co_await asio::this_coro::executor;
  server->maxFDs = descriptorBudget();
  tcp::acceptor acceptor = openAcceptor(executor, resolveEndpoint(executor, address, port), *server);
  server->boundPort = acceptor.local_endpoint().port();
  auto sharedCallback = std::make_shared<const HttpCallback>(std::move(callback));
  asio::steady_timer timer(executor);
  for (;;) {
    // Waiting keeps descriptor use under the process limit instead of refusing connections.
    while (assumedDescriptorsPerRequest >= 0 &&
           server->openConnections + assumedDescriptorsPerRequest >= server->maxFDs) {
      co_await rest(timer);
    }
    tcp::socket socket = co_await acceptOne(acceptor, timer);
    spawnConnection(server, sharedCallback, std::move(socket));
  }
}

}  // namespace nc
