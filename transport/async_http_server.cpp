#include "transport/async_http_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iterator>
#include <limits>
#include <optional>

#include <asio/co_spawn.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "transport/executable_file.h"
#include "transport/request_reader.h"

namespace nc {
namespace {

using asio::ip::tcp;

// Connections the kernel may queue before we accept them; the usual somaxconn ceiling.
constexpr int listenBacklog = 4096;
// Connections from addresses that hold their share, closed at most in one go
// by skipRefused before the other connections' work goes on.
constexpr int refusedAtOnce = 64;
// How long the accept loop rests while descriptors or kernel memory run short.
constexpr std::chrono::milliseconds throttleWait{500};
// Idle connections closed at once when descriptors run out: enough for the
// next few clients, few enough to spare the others their kept-alive connection.
constexpr size_t idleConnectionsClosedAtOnce = 8;
// The pause after closing them, for their readers to end and hand their
// descriptors back, before accepting again.
constexpr std::chrono::milliseconds pauseAfterClosingIdle{5};
// Descriptor budget when the process limit cannot be read.
constexpr int64_t fallbackDescriptorBudget = 16000;

// Descriptors the process holds already: standard streams, the database, the
// event loop's own, the listening socket. 0 when they cannot be listed.
int64_t descriptorsInUse() {
  std::error_code error;
  std::filesystem::directory_iterator entries("/proc/self/fd", error);
  if (error) return 0;
  // The listing holds a descriptor of its own while it runs.
  return std::max<int64_t>(std::distance(entries, std::filesystem::directory_iterator()) - 1, 0);
}

// Descriptors left for connections. Counting the ones already held keeps the
// accept throttle's headroom real, so that a full house still leaves room to
// open the forwarder file or start systemctl.
int64_t descriptorBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return fallbackDescriptorBudget;
  constexpr auto largest = static_cast<rlim_t>(std::numeric_limits<int64_t>::max());
  return static_cast<int64_t>(std::min(limit.rlim_cur, largest)) - 1 - descriptorsInUse();
}

// Resolved with getaddrinfo itself, so that a failure reports the resolver's
// own text and, where it has one, the system's error number. It blocks, as
// Asio's resolver would in its own thread; this runs once, before serving.
tcp::endpoint resolveEndpoint(const std::string& address, uint16_t port) {
  if (address.empty()) return {asio::ip::address_v4::any(), port};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  errno = 0;
  int failure = ::getaddrinfo(address.c_str(), nullptr, &hints, &results);
  if (failure != 0) {
    int number = failure == EAI_SYSTEM ? errno : 0;
    throw OsError(std::error_code(number, std::system_category()), ::gai_strerror(failure));
  }
  sockaddr_in first{};
  std::memcpy(&first, results->ai_addr, sizeof first);
  ::freeaddrinfo(results);
  return {asio::ip::address_v4(ntohl(first.sin_addr.s_addr)), port};
}

tcp::acceptor openAcceptor(const asio::any_io_executor& executor, const tcp::endpoint& endpoint,
                           const AsyncHttpServer& server) {
  tcp::acceptor acceptor(executor);
  try {
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(server.reuseAddr));
    acceptor.bind(endpoint);
    acceptor.listen(listenBacklog);
    // skipRefused calls accept4 itself, which must not wait.
    acceptor.non_blocking(true);
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

// Whether a connection waits to be accepted; asks without waiting.
bool clientWaiting(tcp::acceptor& acceptor) {
  pollfd waiting{acceptor.native_handle(), POLLIN, 0};
  return ::poll(&waiting, 1, 0) > 0;
}

// Makes room when descriptors run short: closes the connections idle longest,
// or, with none idle, waits for others to close.
asio::awaitable<void> makeRoom(AsyncHttpServer& server, asio::steady_timer& timer) {
  if (server.idleConnections->closeLongestIdle(idleConnectionsClosedAtOnce) == 0) {
    co_await rest(timer);
    co_return;
  }
  timer.expires_after(pauseAfterClosingIdle);
  co_await timer.async_wait(asio::use_awaitable);
}

// Counts a connection from `address`; false, counting nothing, when the
// address holds its share already.
bool admitPeer(AsyncHttpServer& server, const asio::ip::address& address) {
  const auto found = server.connectionsByAddress.find(address);
  const int64_t open = found == server.connectionsByAddress.end() ? 0 : found->second;
  if (open >= server.maxConnectionsPerAddress) return false;
  ++server.connectionsByAddress[address];
  return true;
}

void releasePeer(AsyncHttpServer& server, const asio::ip::address& address) {
  const auto found = server.connectionsByAddress.find(address);
  if (--found->second == 0) server.connectionsByAddress.erase(found);
}

// After a connection refused for its address, those waiting behind it are
// accepted here and closed while their addresses hold their share too: two
// system calls and no turn of the event loop each, so that a flood from one
// address cannot keep a newcomer long in the kernel's queue. Returns the first
// connection admitted, if any comes before the queue is empty, a failure, or
// refusedAtOnce refusals; a failure is met by the next async_accept.
std::optional<tcp::socket> skipRefused(tcp::acceptor& acceptor, AsyncHttpServer& server, tcp::endpoint& peer) {
  for (int refused = 0; refused < refusedAtOnce; ++refused) {
    socklen_t length = static_cast<socklen_t>(peer.capacity());
    const int descriptor = ::accept4(acceptor.native_handle(), peer.data(), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    peer.resize(length);
    if (admitPeer(server, peer.address())) {
      tcp::socket socket(acceptor.get_executor());
      std::error_code error;
      socket.assign(peer.protocol(), descriptor, error);
      if (!error) return socket;
      releasePeer(server, peer.address());
    }
    ::close(descriptor);
  }
  return std::nullopt;
}

// The next connection from an address that does not hold its share yet, and,
// from accept(2) itself, its peer's address; failures that end only that
// connection, or pass with time, do not end the server.
asio::awaitable<tcp::socket> acceptOne(tcp::acceptor& acceptor, AsyncHttpServer& server, asio::steady_timer& timer,
                                       tcp::endpoint& peer) {
  for (;;) {
    std::error_code error;
    tcp::socket socket = co_await acceptor.async_accept(peer, asio::redirect_error(asio::use_awaitable, error));
    if (!error) {
      if (admitPeer(server, peer.address())) co_return socket;
      socket.close(error);
      if (auto admitted = skipRefused(acceptor, server, peer)) co_return std::move(*admitted);
    } else if (isShortage(error)) {
      co_await makeRoom(server, timer);
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

// Every TLS record starts with its type; a client's first is a handshake.
constexpr unsigned char tlsHandshakeRecord = 0x16;

// Looks at the client's first byte without taking it: a TLS hello starts the
// handshake, anything else is read in clear, for a redirect.
asio::awaitable<bool> startTls(const AsyncHttpServer& server, Connection& connection) {
  std::error_code error;
  co_await connection.socket().async_wait(asio::socket_base::wait_read, asio::redirect_error(asio::use_awaitable, error));
  unsigned char first = 0;
  if (error || ::recv(connection.socket().native_handle(), &first, 1, MSG_PEEK) != 1) co_return false;
  if (first != tlsHandshakeRecord) {
    connection.setRedirectsToTls();
    co_return true;
  }
  connection.startTls(server.tls->newSession(connection.socket().native_handle()));
  co_return co_await connection.handshake();
}

// The handshake deadline counts from the accept, the wait for the first byte
// included; at the deadline the connection is closed, which ends the wait in
// progress. The timer's own handler does it: operator || with the timer
// would cost every connection two more coroutines and the exception that
// cancelling the timer's wait throws.
asio::awaitable<bool> openTls(const AsyncHttpServer& server, const std::shared_ptr<Connection>& connection) {
  asio::steady_timer deadline(connection->socket().get_executor(), server.handshakeTimeout);
  deadline.async_wait([connection](std::error_code error) {
    if (!error) connection->close();
  });
  const bool opened = co_await startTls(server, *connection);
  deadline.cancel();
  co_return opened && !connection->isClosed();
}

asio::awaitable<void> openAndServe(std::shared_ptr<AsyncHttpServer> server, RequestLimits limits,
                                   std::shared_ptr<const HttpCallback> callback, std::shared_ptr<Connection> connection,
                                   std::string peerAddress) {
  // Apart from the condition: gcc 12 miscompiles a co_await after && (an illegal instruction).
  if (server->tls) {
    const bool opened = co_await openTls(*server, connection);
    if (!opened) co_return;
  }
  co_await serveConnection(std::move(limits), std::move(callback), std::move(connection), std::move(peerAddress));
}

// The peer is counted already (acceptOne).
void spawnConnection(const std::shared_ptr<AsyncHttpServer>& server, const std::shared_ptr<const HttpCallback>& callback,
                     tcp::socket socket, const tcp::endpoint& peer) {
  // Replies go out in one write each, so Nagle's delay would only add latency.
  std::error_code error;
  socket.set_option(tcp::no_delay(true), error);
  auto executor = socket.get_executor();
  auto connection = std::make_shared<Connection>(std::move(socket), server->writeTimeout);
  ++server->openConnections;
  // A failure of one connection ends that connection only.
  RequestLimits limits{server->maxBody, server->idleTimeout, server->requestTimeout, server->headerMemory,
                       server->idleConnections};
  asio::co_spawn(executor, openAndServe(server, limits, callback, connection, peer.address().to_string()),
                 [server, connection, address = peer.address()](std::exception_ptr failure) {
                   --server->openConnections;
                   releasePeer(*server, address);
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
  tcp::acceptor acceptor = openAcceptor(executor, resolveEndpoint(address, port), *server);
  // Large embedded bodies are sent from the executable file, opened on first use:
  // opened now, it is counted among the descriptors already held.
  executableFileSpan(nullptr, 0);
  server->maxFDs = descriptorBudget();
  server->boundPort = acceptor.local_endpoint().port();
  auto sharedCallback = std::make_shared<const HttpCallback>(std::move(callback));
  asio::steady_timer timer(executor);
  for (;;) {
    // Keeps descriptor use under the process limit instead of refusing connections.
    while (assumedDescriptorsPerRequest >= 0 &&
           server->openConnections + assumedDescriptorsPerRequest >= server->maxFDs) {
      // Idle connections are closed only for a client that is waiting.
      if (clientWaiting(acceptor)) {
        co_await makeRoom(*server, timer);
      } else {
        co_await rest(timer);
      }
    }
    tcp::endpoint peer;
    tcp::socket socket = co_await acceptOne(acceptor, *server, timer, peer);
    spawnConnection(server, sharedCallback, std::move(socket), peer);
  }
}

}  // namespace nc
