#include "transport/async_http_server.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/use_future.hpp>

#include "support/read_only_bytes.h"
#include "support/test_support.h"
#include "transport/request_parsing.h"
#include "utils/json.h"

// accept(2) fails with EMFILE while this is positive, as when the process is
// out of descriptors; the server's own accepts go through here.
std::atomic<int> failingAccepts{0};

extern "C" int accept(int socket, sockaddr* address, socklen_t* length) {
  using Accept = int (*)(int, sockaddr*, socklen_t*);
  static const auto realAccept = reinterpret_cast<Accept>(::dlsym(RTLD_NEXT, "accept"));
  if (failingAccepts > 0) {
    --failingAccepts;
    errno = EMFILE;
    return -1;
  }
  return realAccept(socket, address, length);
}

// Counts the server's sendfile() calls. The build's 64-bit file offsets make
// the header name the call sendfile64, and this definition with it.
std::atomic<int> sendFileCalls{0};

extern "C" ssize_t sendfile(int out, int in, off_t* offset, size_t count) {
  using SendFile = ssize_t (*)(int, int, off_t*, size_t);
  static const auto realSendFile = reinterpret_cast<SendFile>(::dlsym(RTLD_NEXT, "sendfile64"));
  ++sendFileCalls;
  return realSendFile(out, in, offset, count);
}

namespace nc {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::RawClient;
using test::bodyOf;
using test::runProgram;

// Made on first use: every test of this folder's executable would pay for it at start.
const std::string& bigReply() {
  static const std::string reply(32 << 20, 'x');
  return reply;
}
std::atomic<int> bigRepliesDone{0};
std::atomic<int> bigRepliesFailed{0};

std::string describe(const HttpRequest& request) {
  static const std::array<std::string, 9> methods{"HEAD",  "GET",     "POST",    "PUT",  "DELETE",
                                                  "TRACE", "OPTIONS", "CONNECT", "PATCH"};
  std::string text = methods[static_cast<size_t>(request.reqMethod)] + " " + request.url.path + " " +
                     request.url.query + " " + request.protocol.text + " " + request.peerAddress + "\n";
  for (const auto& [name, values] : request.headers) {
    text += name + ":";
    for (std::string_view value : values) text.append("[").append(value).append("]");
    text += "\n";
  }
  return text + "body=" + request.body;
}

asio::awaitable<void> sendBigReply(HttpRequest& request) {
  try {
    co_await respond(request, 200, bigReply());
    ++bigRepliesDone;
  } catch (...) {
    ++bigRepliesFailed;
  }
}

// Answers by path: the number of header names, a reply too large for the
// socket buffers, the socket's Nagle setting, the test's read-only bytes as an
// ordinary and as an embedded body, a failure, a reply after a long wait, or
// else a description of the request.
asio::awaitable<void> testCallback(HttpRequest& request) {
  const std::string& path = request.url.path;
  if (path == "/count") {
    co_await respond(request, 200, std::to_string(request.headers.size()));
  } else if (path == "/big") {
    co_await sendBigReply(request);
  } else if (path == "/nodelay") {
    asio::ip::tcp::no_delay option;
    request.client->socket().get_option(option);
    co_await respond(request, 200, option.value() ? "on" : "off");
  } else if (path == "/readOnly") {
    co_await respond(request, 200, test::readOnlyBytes());
  } else if (path == "/embedded") {
    co_await writeEmbeddedReply(*request.client, 200, test::readOnlyBytes(), PreparedHeaders{});
  } else if (path == "/redirects") {
    co_await respond(request, 200, request.client->redirectsToTls() ? "yes" : "no");
  } else if (path == "/throw") {
    throw std::runtime_error("handler failed");
  } else if (path == "/block") {
    // Holds the whole event loop, so that connections pile up unaccepted.
    std::this_thread::sleep_for(300ms);
    co_await respond(request, 200, "unblocked");
  } else {
    if (path == "/slow") {
      asio::steady_timer timer(co_await asio::this_coro::executor, 1000ms);
      co_await timer.async_wait(asio::use_awaitable);
    }
    std::string text = describe(request);
    co_await respond(request, 200, text);
  }
}

// The transport on an event loop of its own thread, on a free loopback port.
class TestServer {
 public:
  explicit TestServer(const std::function<void(AsyncHttpServer&)>& adjust = {})
      : server_(newAsyncHttpServer(true, 4096)) {
    asio::co_spawn(io_, serve(server_, 0, testCallback, "127.0.0.1", 5),
                   [this](std::exception_ptr failure) { failure_ = failure; });
    for (int i = 0; i < 500 && server_->boundPort == 0 && !failure_; ++i) io_.run_one_for(10ms);
    if (failure_) std::rethrow_exception(failure_);
    if (server_->boundPort == 0) throw std::runtime_error("server did not start");
    if (adjust) adjust(*server_);
    thread_ = std::thread([this] { io_.run(); });
  }
  ~TestServer() {
    io_.stop();
    thread_.join();
  }
  uint16_t port() const { return server_->boundPort; }
  int64_t openConnections() {
    return asio::post(io_, asio::use_future([this] { return server_->openConnections; })).get();
  }

 private:
  asio::io_context io_;
  std::shared_ptr<AsyncHttpServer> server_;
  std::exception_ptr failure_;
  std::thread thread_;
};

std::string okReply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string errorReply(const std::string& status) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(status.size()) + "\r\n\r\n" + status;
}

std::string headerLines(size_t count) {
  std::string lines;
  for (size_t i = 0; i < count; ++i) lines += "h" + std::to_string(i) + ": v\r\n";
  return lines;
}

TEST(Transport, wellFormedRequests) {
  TestServer server;
  RawClient client(server.port());
  client.send("GET /ui HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.readResponse(), okReply("GET /ui  HTTP/1.1 127.0.0.1\nbody="));
  // Same connection: repeated names keep the last line, lists split at commas.
  client.send("GET /b?x#y HTTP/1.1\r\nHost: h\r\nX: a, b\r\nX: c,  d \r\nCookie: k=1, j=2\r\n\r\n");
  EXPECT_EQ(bodyOf(client.readResponse()),
            "GET /b x HTTP/1.1 127.0.0.1\nhost:[h]\nx:[c][d ]\ncookie:[k=1, j=2]\nbody=");
  // Pipelined, with one tolerated empty line and a CR ending a line on its own.
  client.send("\r\nPOST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nhelloGET /cr HTTP/1.1\rXHost: h\r\n\r\n");
  EXPECT_EQ(bodyOf(client.readResponse()), "POST /p  HTTP/1.1 127.0.0.1\ncontent-length:[5]\nbody=hello");
  EXPECT_EQ(bodyOf(client.readResponse()), "GET /cr  HTTP/1.1 127.0.0.1\nhost:[h]\nbody=");
  // Without a protocol the request is answered, then the connection is closed.
  client.send("GET /short\r\n\r\n");
  EXPECT_EQ(bodyOf(client.readResponse()), "GET /short   127.0.0.1\nbody=");
  EXPECT_TRUE(client.peerClosed());
}

TEST(Transport, keepAliveRules) {
  TestServer server;
  struct Case {
    std::string request;
    bool staysOpen;
  };
  // The decision itself is tested purely; these check that the reader acts on it.
  const std::vector<Case> cases{
      {"GET / HTTP/1.0\r\n\r\n", false},
      {"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", true},
      {"GET / HTTP/1.1\r\nConnection: Close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: keep-alive, Upgrade\r\n\r\n", false},
  };
  for (const auto& c : cases) {
    RawClient client(server.port(), 2s);
    client.send(c.request);
    EXPECT_EQ(client.readResponse().substr(0, 15), "HTTP/1.1 200 OK") << c.request;
    if (c.staysOpen) {
      client.send("GET /again HTTP/1.1\r\n\r\n");
      EXPECT_NE(client.readResponse().find("GET /again"), std::string::npos) << c.request;
    } else {
      EXPECT_TRUE(client.peerClosed()) << c.request;
    }
  }
}

TEST(Transport, malformedRequests) {
  TestServer server;
  const std::string badRequest = errorReply("400 Bad Request");
  // Each is answered with 400 and the connection goes on to the next request.
  for (std::string malformed : {"get / HTTP/1.1\r\n\r\n", "GET / FTP/1.0\r\n\r\n", "GET / HTTP/1.1 x\r\n\r\n",
                                "GET  / HTTP/1.1\r\n\r\n", "\r\n\r\n", "FETCH / HTTP/1.1\r\n\r\n"}) {
    RawClient client(server.port());
    client.send(malformed + "GET /after HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readResponse(), badRequest) << malformed;
    EXPECT_EQ(bodyOf(client.readResponse()), "GET /after  HTTP/1.1 127.0.0.1\nbody=") << malformed;
  }
  // The end of the stream before a complete request gets no reply.
  for (std::string partial : {"", "GET / HTTP/1.1\r\n", "GET / HTTP/1.1\r\nHost: h"}) {
    RawClient client(server.port());
    client.send(partial);
    client.shutdownWrite();
    EXPECT_EQ(client.readAll(), "") << partial;
  }
}

TEST(Transport, lineLengthLimits) {
  TestServer server;
  const std::string tooLarge = errorReply("413 Request Entity Too Large");
  const std::string frame = "GET  HTTP/1.1";
  for (size_t length : {size_t{8191}, size_t{8192}}) {
    std::string path = "/" + std::string(length - frame.size() - 1, 'p');
    RawClient client(server.port());
    client.send("GET " + path + " HTTP/1.1\r\nX: " + std::string(length - 3, 'v') + "\r\n\r\n");
    EXPECT_EQ(client.readResponse().substr(0, 15), "HTTP/1.1 200 OK") << length;
  }
  for (size_t length : {size_t{8193}, size_t{9000}}) {
    RawClient lineClient(server.port());
    lineClient.send("GET /" + std::string(length - frame.size() - 1, 'p') + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(lineClient.readAll(), tooLarge) << length;
    RawClient headerClient(server.port());
    headerClient.send("GET / HTTP/1.1\r\nX: " + std::string(length - 3, 'v') + "\r\n\r\n");
    EXPECT_EQ(headerClient.readAll(), tooLarge) << length;
  }
}

TEST(Transport, bodyLimits) {
  TestServer server;
  for (size_t length : {size_t{4095}, size_t{4096}}) {
    RawClient client(server.port());
    std::string body(length, 'b');
    client.send("POST /p HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" + body);
    EXPECT_EQ(bodyOf(client.readResponse()),
              "POST /p  HTTP/1.1 127.0.0.1\ncontent-length:[" + std::to_string(length) + "]\nbody=" + body);
  }
  for (std::string length : {"4097", "5000", "99999999999999999999999"}) {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\nContent-Length: " + length + "\r\n\r\n");
    EXPECT_EQ(client.readAll(), errorReply("413 Request Entity Too Large")) << length;
  }
  struct Case {
    std::string lengthHeader, body, bodySeen;
  };
  for (const Case& c : {Case{"Content-Length: 12abc\r\n", "twelve bytes", "twelve bytes"},
                        Case{"Content-Length: +1_0\r\n", "0123456789", "0123456789"},
                        Case{"", "", ""}}) {
    RawClient client(server.port());
    client.send("GET /g HTTP/1.1\r\n" + c.lengthHeader + "\r\n" + c.body);
    std::string body = bodyOf(client.readResponse());
    EXPECT_EQ(body.substr(body.find("body=")), "body=" + c.bodySeen) << c.lengthHeader;
  }
}

// The client sends its whole oversized body before it reads: the refusal must
// still reach it instead of being destroyed by a reset for the unread bytes.
TEST(Transport, refusalArrivesWithUnreadInputPending) {
  TestServer server;
  for (int round = 0; round < 20; ++round) {
    RawClient tooLong(server.port());
    tooLong.send("POST /p HTTP/1.1\r\nContent-Length: 200000\r\n\r\n" + std::string(200000, 'b'));
    EXPECT_EQ(tooLong.readAll(), errorReply("413 Request Entity Too Large")) << round;
    RawClient badLength(server.port());
    badLength.send("POST /p HTTP/1.1\r\nContent-Length: x\r\n\r\n" + std::string(200000, 'b'));
    EXPECT_EQ(badLength.readAll(),
              "HTTP/1.1 400 Bad Request\r\nContent-Length: 36\r\n\r\nBad Request. Invalid Content-Length.")
        << round;
  }
}

TEST(Transport, bodyFramingErrors) {
  TestServer server;
  {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\n\r\nGET /after HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readResponse(),
              "HTTP/1.1 411 Length Required\r\nContent-Length: 24\r\n\r\nContent-Length required.");
    EXPECT_NE(client.readResponse().find("GET /after"), std::string::npos);
  }
  // Where an unreadable length leaves the stream is unknown: answered, then closed.
  for (std::string length : {"abc", "", "-1", "x5"}) {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\nContent-Length: " + length + "\r\n\r\nGET /after HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readAll(), "HTTP/1.1 400 Bad Request\r\nContent-Length: 36\r\n\r\n"
                                "Bad Request. Invalid Content-Length.")
        << length;
  }
  RawClient client(server.port());
  client.send("POST /p HTTP/1.1\r\nContent-Length: 10\r\n\r\nhello");
  client.shutdownWrite();
  EXPECT_EQ(client.readAll(), "HTTP/1.1 400 Bad Request\r\nContent-Length: 50\r\n\r\n"
                              "Bad Request. Content-Length does not match actual.");
}

// Header lines whose charges add up to exactly `total`, each well inside the
// line length limit.
struct ChargedLines {
  std::string text;
  std::string names;  // how many, as /count answers it
};
ChargedLines chargedHeaderLines(size_t total) {
  const std::string full = "x:" + std::string(3000, 'v');
  std::string text;
  size_t charged = 0;
  size_t lines = 1;
  for (; total - charged >= 2 * headerLineCost(full); ++lines) {
    const std::string numbered = "x" + std::to_string(lines) + full.substr(1);
    text += numbered + "\r\n";
    charged += headerLineCost(numbered);
  }
  std::string line = "x:";
  line += std::string(total - charged - headerLineCost(line), 'v');
  EXPECT_EQ(charged + headerLineCost(line), total);
  return {text + line + "\r\n", std::to_string(lines)};
}

// A body framed by Transfer-Encoding is never read, so whatever the client
// sent as that body must not be taken for a request of its own.
TEST(Transport, transferEncodingEndsTheConnection) {
  TestServer server;
  const std::string smuggled = "GET /smuggled HTTP/1.1\r\n\r\n";
  for (std::string method : {"POST", "GET"}) {
    RawClient client(server.port());
    client.send(method + " /p HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n" + smuggled);
    EXPECT_EQ(client.readAll(), "HTTP/1.1 411 Length Required\r\nContent-Length: 24\r\n\r\nContent-Length required.")
        << method;
  }
  // With both, the two framings may disagree on where the body ends.
  RawClient client(server.port());
  client.send("POST /p HTTP/1.1\r\nContent-Length: 26\r\nTransfer-Encoding: chunked\r\n\r\n" + smuggled);
  EXPECT_EQ(client.readAll(), errorReply("400 Bad Request"));
}

// A second Host line is refused whatever it says: which of two names a
// request is for is anybody's guess.
TEST(Transport, repeatedHostIsRefused) {
  TestServer server;
  for (std::string hosts : {"Host: a\r\nHost: a\r\n", "Host: a\r\nhOST: b\r\n", "host:\r\nHost: a\r\n"}) {
    RawClient client(server.port());
    client.send("GET / HTTP/1.1\r\n" + hosts + "\r\nGET /after HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readAll(), errorReply("400 Bad Request")) << hosts;
  }
  // One line of two values is one Host line: judging it is the server's host check.
  EXPECT_EQ(bodyOf(test::roundTrip(server.port(), "GET / HTTP/1.1\r\nHost: a, b\r\n\r\n")),
            "GET /  HTTP/1.1 127.0.0.1\nhost:[a][b]\nbody=");
}

// Each value is charged its memory, not its wire bytes, and counted: a
// request of many empty values reaches a limit long before its bytes would.
TEST(Transport, headerMemoryLimit) {
  TestServer server;
  for (size_t total : {maxHeaderMemory - 1, maxHeaderMemory}) {
    RawClient client(server.port());
    const ChargedLines lines = chargedHeaderLines(total);
    client.send("GET /count HTTP/1.1\r\n" + lines.text + "\r\n");
    EXPECT_EQ(client.readResponse(), okReply(lines.names)) << total;
  }
  RawClient over(server.port());
  over.send("GET /count HTTP/1.1\r\n" + chargedHeaderLines(maxHeaderMemory + 1).text + "\r\n");
  EXPECT_EQ(over.readAll(), errorReply("431 Request Header Fields Too Large"));
  // Values are counted over all lines of a request; empty ones too.
  const std::string half = std::string(maxHeaderValues / 2 - 1, ',') + "\r\n";
  EXPECT_EQ(test::roundTrip(server.port(), "GET /count HTTP/1.1\r\nx: " + half + "y: " + half + "\r\n"), okReply("2"));
  RawClient overValues(server.port());
  overValues.send("GET /count HTTP/1.1\r\nx: " + half + "y: ," + half + "\r\n");
  EXPECT_EQ(overValues.readAll(), errorReply("431 Request Header Fields Too Large"));
  // 31 lines of 8185 commas: under 256 KB on the wire, a megabyte once stored.
  std::string flood;
  for (int i = 0; i < 31; ++i) flood += "f" + std::to_string(i) + ": " + std::string(8185, ',') + "\r\n";
  RawClient flooding(server.port());
  flooding.send("GET /count HTTP/1.1\r\n" + flood + "\r\n");
  EXPECT_EQ(flooding.readAll(), errorReply("431 Request Header Fields Too Large"));
  // Names are charged as well: a few hundred fit, not the thousands the bytes would allow.
  RawClient names(server.port());
  names.send("GET /count HTTP/1.1\r\n" + headerLines(4000) + "\r\n");
  EXPECT_EQ(names.readAll(), errorReply("431 Request Header Fields Too Large"));
  RawClient fewNames(server.port());
  fewNames.send("GET /count HTTP/1.1\r\n" + headerLines(100) + "\r\n");
  EXPECT_EQ(fewNames.readResponse(), okReply("100"));
}

// Past the server's total, the connection that has held incomplete headers
// longest is closed and its memory goes to the newcomer; the others go on. A
// client that never ends its headers cannot keep everyone else out.
TEST(Transport, headerBudgetClosesTheLongestHolder) {
  struct Case {
    size_t newcomer;  // 20000 held already, of 30000
    bool longestClosed;
  };
  for (const Case& c : {Case{9999, false}, Case{10000, false}, Case{10001, true}}) {
    TestServer server([](AsyncHttpServer& s) { s.headerMemory = std::make_shared<HeaderMemory>(30000); });
    const ChargedLines held = chargedHeaderLines(10000);
    RawClient longest(server.port()), younger(server.port());
    for (RawClient* holder : {&longest, &younger}) {
      holder->send("GET /count HTTP/1.1\r\n" + held.text);
      std::this_thread::sleep_for(100ms);
    }
    const ChargedLines newcomer = chargedHeaderLines(c.newcomer);
    EXPECT_EQ(test::roundTrip(server.port(), "GET /count HTTP/1.1\r\n" + newcomer.text + "\r\n"),
              okReply(newcomer.names))
        << c.newcomer;
    if (c.longestClosed) {
      EXPECT_TRUE(longest.peerClosed()) << c.newcomer;
    } else {
      longest.send("\r\n");
      EXPECT_EQ(longest.readResponse(), okReply(held.names)) << c.newcomer;
    }
    younger.send("\r\n");
    EXPECT_EQ(younger.readResponse(), okReply(held.names)) << c.newcomer;
  }
}

TEST(Transport, requestSplitAtEveryOffset) {
  TestServer server;
  const std::string request =
      "POST /p?q HTTP/1.1\r\nHost: h\r\nX-List: a, b\r\nContent-Length: 5\r\n\r\nhello";
  const std::string expected = okReply("POST /p q HTTP/1.1 127.0.0.1\nhost:[h]\nx-list:[a][b]\n"
                                       "content-length:[5]\nbody=hello");
  for (size_t split = 1; split < request.size(); ++split) {
    RawClient client(server.port());
    client.send(request.substr(0, split));
    std::this_thread::sleep_for(2ms);
    client.send(request.substr(split));
    EXPECT_EQ(client.readResponse(), expected) << "split at " << split;
  }
  RawClient client(server.port());
  for (char byte : request) {
    client.send(std::string(1, byte));
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(client.readResponse(), expected);
}

TEST(Transport, expectations) {
  TestServer server;
  {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 5\r\n\r\n");
    EXPECT_EQ(client.readResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
    client.send("hello");
    EXPECT_EQ(bodyOf(client.readResponse()).substr(0, 7), "POST /p");
  }
  {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\nExpect: something\r\nContent-Length: 2\r\n\r\nhi");
    EXPECT_EQ(client.readResponse(), "HTTP/1.1 417 Expectation Failed\r\n\r\n");
    std::string body = bodyOf(client.readResponse());
    EXPECT_EQ(body.substr(body.find("body=")), "body=hi");
  }
  // A body that would be refused is not asked for: 413 at once, and closed.
  for (std::string length : {"4097", "99999999999999999999"}) {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: " + length + "\r\n\r\n");
    EXPECT_EQ(client.readAll(), errorReply("413 Request Entity Too Large")) << length;
  }
  {
    RawClient client(server.port());
    client.send("POST /p HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4096\r\n\r\n");
    EXPECT_EQ(client.readResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
  }
  // Only a POST is told to go on.
  RawClient client(server.port());
  client.send("PUT /p HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\nhi");
  EXPECT_EQ(client.readResponse().substr(0, 15), "HTTP/1.1 200 OK");
}

// A reply split into several writes can arrive in several segments; a
// gathered write of a small reply arrives whole in one read.
TEST(Transport, replyArrivesInOneRead) {
  TestServer server;
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(server.port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string request = "POST /p HTTP/1.1\r\nContent-Length: 3000\r\n\r\n" + std::string(3000, 'b');
  const std::string expected =
      okReply("POST /p  HTTP/1.1 127.0.0.1\ncontent-length:[3000]\nbody=" + std::string(3000, 'b'));
  std::vector<char> buffer(65536);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    pollfd ready{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 5000), 1);
    ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
    EXPECT_EQ(std::string(buffer.data(), static_cast<size_t>(std::max<ssize_t>(got, 0))), expected) << i;
  }
  ::close(fd);
  EXPECT_EQ(test::roundTrip(server.port(), "GET /nodelay HTTP/1.1\r\n\r\n"), okReply("on"));
}

// A HEAD reply announces the length its GET would send and sends no body: a
// client reads none, and would take it for the start of the next reply.
TEST(Transport, headRepliesCarryNoBody) {
  TestServer server;
  RawClient client(server.port());
  client.send("HEAD /h HTTP/1.1\r\n\r\nGET /after HTTP/1.1\r\nConnection: close\r\n\r\n");
  const std::string described = "HEAD /h  HTTP/1.1 127.0.0.1\nbody=";
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(described.size()) + "\r\n\r\n";
  const std::string after = "GET /after  HTTP/1.1 127.0.0.1\nconnection:[close]\nbody=";
  EXPECT_EQ(client.readAll(), head + "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(after.size()) +
                                  "\r\nConnection: close\r\n\r\n" + after);
  RawClient refused(server.port());
  refused.send("HEAD /h HTTP/1.1\r\nContent-Length: x\r\n\r\n");
  EXPECT_EQ(refused.readAll(), "HTTP/1.1 400 Bad Request\r\nContent-Length: 36\r\n\r\n");
}

// Only a reply that names its body as embedded leaves with sendfile(); any
// other is copied, wherever its bytes happen to lie.
TEST(Transport, onlyEmbeddedRepliesLeaveFromTheExecutable) {
  TestServer server;
  const std::string expected = okReply(std::string(test::readOnlyBytes()));
  for (auto [path, fromFile] : {std::pair{"/readOnly", false}, std::pair{"/embedded", true}}) {
    sendFileCalls = 0;
    RawClient client(server.port());
    client.send("GET " + std::string(path) + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(client.readExactly(expected.size()) == expected) << path;
    EXPECT_EQ(sendFileCalls > 0, fromFile) << path;
  }
}

TEST(Transport, peerGoneDuringReply) {
  // This test dies if a write raises SIGPIPE: by its default action, or by
  // the handler an earlier test of this process installed, which lets only
  // quiet writes live. Only an ignored SIGPIPE is reset; resetting the
  // handler would leave the quiet writes of later tests unprotected.
  struct sigaction current {};
  ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &current), 0);
  if (current.sa_handler == SIG_IGN) std::signal(SIGPIPE, SIG_DFL);
  TestServer server;
  bigRepliesDone = 0;
  bigRepliesFailed = 0;
  for (int i = 0; i < 3; ++i) {
    RawClient client(server.port());
    client.send("GET /big HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readExactly(1000).substr(0, 15), "HTTP/1.1 200 OK");
  }
  for (int i = 0; i < 500 && bigRepliesDone < 3; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(bigRepliesDone, 3);
  EXPECT_EQ(bigRepliesFailed, 0);
  EXPECT_EQ(test::roundTrip(server.port(), "GET /still HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

TEST(Transport, idleDeadline) {
  TestServer server([](AsyncHttpServer& s) {
    s.idleTimeout = 300ms;
    s.requestTimeout = 700ms;
  });
  auto start = Clock::now();
  RawClient fresh(server.port(), 3s);
  EXPECT_TRUE(fresh.peerClosed());
  EXPECT_GT(secondsSince(start), 0.25);
  // After a reply, and after a handler that outlasted both deadlines.
  for (std::string path : {"/", "/slow"}) {
    RawClient kept(server.port(), 3s);
    kept.send("GET " + path + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(kept.readResponse().substr(0, 15), "HTTP/1.1 200 OK") << path;
    start = Clock::now();
    EXPECT_TRUE(kept.peerClosed()) << path;
    EXPECT_LT(secondsSince(start), 0.65) << path;
  }
}

// A started request runs on the request deadline, shorter here than the idle
// one, and ends without a reply; a trickle of bytes does not extend it.
TEST(Transport, requestDeadline) {
  TestServer server([](AsyncHttpServer& s) {
    s.idleTimeout = 2000ms;
    s.requestTimeout = 400ms;
  });
  for (std::string partial : {"GET / HTTP/1.1\r\nHost: h\r\n", "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nhello"}) {
    RawClient client(server.port(), 3s);
    client.send("GET /first HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readResponse().substr(0, 15), "HTTP/1.1 200 OK");
    auto start = Clock::now();
    client.send(partial);
    EXPECT_EQ(client.readAll(), "") << partial;
    EXPECT_GT(secondsSince(start), 0.35) << partial;
    EXPECT_LT(secondsSince(start), 1.5) << partial;
  }
  RawClient trickling(server.port(), 3s);
  auto start = Clock::now();
  trickling.send("GET / HTTP/1.1\r\n");
  bool refused = false;
  for (int i = 0; i < 30 && !refused; ++i) {
    std::this_thread::sleep_for(100ms);
    try {
      trickling.send("X" + std::to_string(i) + ": y\r\n");
    } catch (const std::runtime_error&) {
      refused = true;
    }
  }
  EXPECT_EQ(trickling.readAll(), "");
  EXPECT_LT(secondsSince(start), 1.5);
  // A handler that outlasts the deadline is not cut off.
  RawClient slow(server.port(), 5s);
  slow.send("GET /slow HTTP/1.1\r\n\r\n");
  EXPECT_EQ(slow.readResponse().substr(0, 15), "HTTP/1.1 200 OK");
}

// Waits up to `limit` for the server's connections to be down to `count`.
bool openConnectionsFallTo(TestServer& server, int64_t count, std::chrono::milliseconds limit) {
  auto start = Clock::now();
  while (server.openConnections() > count) {
    if (Clock::now() - start > limit) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// End of stream in every state of a request closes the connection at once,
// long before the deadlines here, after the reply that state calls for. A
// client that half-closes reads that reply; one that closes whole is
// forgotten as quickly.
TEST(Transport, endOfStreamInEveryState) {
  TestServer server([](AsyncHttpServer& s) {
    s.idleTimeout = 20s;
    s.requestTimeout = 20s;
  });
  struct Case {
    std::string state;
    std::string sent;
    std::string reply;
  };
  const std::vector<Case> cases{
      {"idle before a request", "", ""},
      {"idle after a reply", "GET /first HTTP/1.1\r\n\r\n", ""},
      {"request line", "GET /p HTT", errorReply("400 Bad Request")},
      {"request line at its end", "GET /p HTTP/1.1", ""},
      {"headers", "GET /p HTTP/1.1\r\nHost: h\r\n", ""},
      {"header line", "GET /p HTTP/1.1\r\nHost: h", ""},
      {"body", "POST /p HTTP/1.1\r\nContent-Length: 10\r\n\r\nhello",
       "HTTP/1.1 400 Bad Request\r\nContent-Length: 50\r\n\r\nBad Request. Content-Length does not match actual."},
      {"body not begun", "POST /p HTTP/1.1\r\nContent-Length: 10\r\n\r\n",
       "HTTP/1.1 400 Bad Request\r\nContent-Length: 50\r\n\r\nBad Request. Content-Length does not match actual."},
  };
  for (const auto& c : cases) {
    RawClient client(server.port(), 3s);
    client.send(c.sent);
    if (c.state == "idle after a reply") {
      EXPECT_EQ(client.readResponse().substr(0, 15), "HTTP/1.1 200 OK");
    }
    auto start = Clock::now();
    client.shutdownWrite();
    EXPECT_EQ(client.readAll(), c.reply) << c.state;
    EXPECT_LT(secondsSince(start), 1.0) << c.state;
  }
  ASSERT_TRUE(openConnectionsFallTo(server, 0, 1s));
  for (const auto& c : cases) {
    {
      RawClient client(server.port(), 3s);
      client.send(c.sent);
      if (c.state == "idle after a reply") client.readResponse();
      std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(openConnectionsFallTo(server, 0, 1s)) << c.state;
  }
}

// A client that asks for replies and never reads them is let go once its
// socket has taken nothing for the write deadline; one that reads slowly is
// served to the end.
TEST(Transport, writeDeadline) {
  // Long enough for a slow reader that a loaded machine leaves unscheduled
  // for a second or more, short for the test; the slow read below lasts
  // longer, so a deadline counted from the reply's start would cut it.
  TestServer server([](AsyncHttpServer& s) { s.writeTimeout = 2500ms; });
  {
    RawClient neverReads(server.port(), 3s);
    std::string pipelined;
    for (int i = 0; i < 20; ++i) pipelined += "GET /big HTTP/1.1\r\n\r\n";
    neverReads.send(pipelined);
    EXPECT_TRUE(openConnectionsFallTo(server, 0, 6s));
  }
  RawClient slow(server.port(), 5s);
  slow.send("GET /big HTTP/1.1\r\n\r\n");
  std::string received;
  auto start = Clock::now();
  while (Clock::now() - start < 3500ms) {
    received += slow.readExactly(256 * 1024);
    std::this_thread::sleep_for(100ms);
  }
  received += slow.readExactly(okReply(bigReply()).size() - received.size());
  EXPECT_EQ(received.size(), okReply(bigReply()).size());
  EXPECT_EQ(received.substr(0, 15), "HTTP/1.1 200 OK");
}

// The write deadline runs from the last byte the peer took. What the kernel
// moved into the peer's receive buffer in the first instant is no progress
// made at the deadline, whether the reply is copied or sent from the file.
TEST(Transport, writeDeadlineCountsFromTheLastByteTaken) {
  TestServer server([](AsyncHttpServer& s) { s.writeTimeout = 1500ms; });
  for (std::string path : {"/big", "/embedded"}) {
    RawClient neverReads(server.port(), 5s);
    std::string pipelined;
    for (int i = 0; i < 20; ++i) pipelined += "GET " + path + " HTTP/1.1\r\n\r\n";
    for (int i = 0; i < 500 && server.openConnections() == 0; ++i) std::this_thread::sleep_for(1ms);
    auto start = Clock::now();
    neverReads.send(pipelined);
    ASSERT_TRUE(openConnectionsFallTo(server, 0, 6s)) << path;
    EXPECT_GT(secondsSince(start), 1.4) << path;
    EXPECT_LT(secondsSince(start), 2.4) << path;
  }
}

// A deadline that passes while a reply is still owed (here the 400 for a body
// cut short) ends the connection quietly, not as a failure of the connection.
TEST(Transport, deadlinesAreNoFailure) {
  TestServer server([](AsyncHttpServer& s) { s.requestTimeout = 300ms; });
  testing::internal::CaptureStdout();
  for (std::string partial : {"POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nhello", "GET / HTTP/1.1\r\nHost: h\r\n"}) {
    RawClient client(server.port(), 3s);
    client.send(partial);
    EXPECT_EQ(client.readAll(), "") << partial;
  }
  EXPECT_TRUE(openConnectionsFallTo(server, 0, 2s));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// While the budget is spent by connections in the middle of a request, a
// new client waits; once one of them is idle between requests, it is closed
// to make room.
TEST(Transport, acceptThrottle) {
  // With 5 descriptors assumed per request, a budget of 7 leaves room for 2 connections.
  TestServer server([](AsyncHttpServer& s) { s.maxFDs = 7; });
  RawClient first(server.port());
  RawClient second(server.port());
  for (RawClient* client : {&first, &second}) client->send("GET / HTTP/1.1\r\n");
  std::this_thread::sleep_for(100ms);
  RawClient third(server.port(), 1500ms);
  third.send("GET /third HTTP/1.1\r\n\r\n");
  EXPECT_EQ(third.readResponse(), "");
  first.send("\r\n");
  EXPECT_EQ(first.readResponse().substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(third.readResponse().find("GET /third"), std::string::npos);
  EXPECT_TRUE(first.peerClosed());
  second.send("\r\n");
  EXPECT_EQ(second.readResponse().substr(0, 15), "HTTP/1.1 200 OK");
}

// One address holds at most its share of connections: the next one is closed
// as soon as it is accepted, while other addresses are served. A connection
// refused for any reason holds nothing, its descriptor included, even while
// its client neither reads nor closes.
TEST(Transport, refusedConnectionsHoldNothing) {
  TestServer server([](AsyncHttpServer& s) { s.maxConnectionsPerAddress = 3; });
  std::vector<std::unique_ptr<RawClient>> admitted;
  for (int i = 0; i < 3; ++i) {
    admitted.push_back(std::make_unique<RawClient>(server.port(), 2s, "127.0.0.2"));
    admitted.back()->send("GET /in HTTP/1.1\r\n\r\n");
    EXPECT_EQ(admitted.back()->readResponse().substr(0, 15), "HTTP/1.1 200 OK") << i;
  }
  RawClient oneTooMany(server.port(), 2s, "127.0.0.2");
  EXPECT_TRUE(oneTooMany.peerClosed());
  EXPECT_EQ(test::roundTripFrom("127.0.0.3", server.port(), "GET / HTTP/1.1\r\n\r\n").substr(0, 15),
            "HTTP/1.1 200 OK");
  admitted.pop_back();
  ASSERT_TRUE(openConnectionsFallTo(server, 2, 1s));
  EXPECT_EQ(test::roundTripFrom("127.0.0.2", server.port(), "GET / HTTP/1.1\r\n\r\n").substr(0, 15),
            "HTTP/1.1 200 OK");
  admitted.clear();
  RawClient tooLarge(server.port());
  tooLarge.send("GET /count HTTP/1.1\r\n" + chargedHeaderLines(maxHeaderMemory + 1).text + "\r\n");
  EXPECT_EQ(tooLarge.readResponse(), errorReply("431 Request Header Fields Too Large"));
  EXPECT_TRUE(openConnectionsFallTo(server, 0, 1s));
}

// Connections refused for their address are closed together with those
// behind them in the kernel's queue, up to the first one admitted, which is
// served.
TEST(Transport, refusalsAheadOfANewcomer) {
  TestServer server([](AsyncHttpServer& s) { s.maxConnectionsPerAddress = 1; });
  RawClient holder(server.port(), 2s, "127.0.0.2");
  holder.send("GET /block HTTP/1.1\r\n\r\n");
  std::this_thread::sleep_for(100ms);
  RawClient first(server.port(), 2s, "127.0.0.2"), second(server.port(), 2s, "127.0.0.2");
  RawClient newcomer(server.port(), 2s, "127.0.0.3");
  newcomer.send("GET /after HTTP/1.1\r\n\r\n");
  EXPECT_EQ(bodyOf(holder.readResponse()), "unblocked");
  EXPECT_TRUE(first.peerClosed());
  EXPECT_TRUE(second.peerClosed());
  EXPECT_NE(newcomer.readResponse().find("GET /after"), std::string::npos);
}

// Running out of descriptors makes accept fail for a while; the server rests
// and accepts the connection once the shortage is over.
TEST(Transport, acceptSurvivesDescriptorShortage) {
  TestServer server;
  failingAccepts = 2;
  RawClient client(server.port(), 3s);
  auto start = Clock::now();
  client.send("GET /scarce HTTP/1.1\r\n\r\n");
  EXPECT_NE(client.readResponse().find("GET /scarce"), std::string::npos);
  EXPECT_GT(secondsSince(start), 0.9);
  EXPECT_EQ(failingAccepts, 0);
}

// Runs the server in a child process whose descriptor limit is `limit`;
// returns the child and its port.
std::pair<pid_t, uint16_t> serveInChildWithDescriptorLimit(rlim_t limit) {
  int ports[2];
  if (::pipe(ports) != 0) throw std::runtime_error("pipe failed");
  pid_t child = ::fork();
  if (child == 0) {
    ::close(ports[0]);
    rlimit lowered{limit, limit};
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    auto server = newAsyncHttpServer(true, 4096);
    asio::io_context io;
    asio::co_spawn(io, serve(server, 0, testCallback, "127.0.0.1", 5), [](std::exception_ptr) {});
    for (int i = 0; i < 500 && server->boundPort == 0; ++i) io.run_one_for(10ms);
    uint16_t port = server->boundPort;
    if (::write(ports[1], &port, sizeof port) != sizeof port) ::_exit(1);
    ::close(ports[1]);
    io.run_for(20s);
    ::_exit(0);
  }
  ::close(ports[1]);
  uint16_t port = 0;
  if (::read(ports[0], &port, sizeof port) != sizeof port) port = 0;
  ::close(ports[0]);
  return {child, port};
}

// With every descriptor held by idle clients, a new client is still served:
// the server closes the connections idle longest to make room.
TEST(Transport, descriptorExhaustionClosesIdleConnectionsFirst) {
  auto [child, port] = serveInChildWithDescriptorLimit(64);
  ASSERT_NE(port, 0);
  RawClient longestIdle(port, 2s);
  // A client in the middle of a request is not taken for an idle one.
  RawClient busy(port, 3s);
  busy.send("GET /busy HTTP/1.1\r\n");
  std::this_thread::sleep_for(100ms);
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 100; ++i) idle.push_back(std::make_unique<RawClient>(port, 2s));
  std::this_thread::sleep_for(300ms);
  RawClient fresh(port, 3s);
  fresh.send("GET /fresh HTTP/1.1\r\n\r\n");
  EXPECT_NE(fresh.readResponse().find("GET /fresh"), std::string::npos);
  EXPECT_TRUE(longestIdle.peerClosed());
  busy.send("\r\n");
  EXPECT_NE(busy.readResponse().find("GET /busy"), std::string::npos);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(Transport, failingConnectionIsIsolated) {
  TestServer server;
  testing::internal::CaptureStdout();
  {
    RawClient client(server.port());
    client.send("GET /throw HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readAll(), "");
  }
  EXPECT_EQ(test::roundTrip(server.port(), "GET /still HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
  int64_t open = -1;
  for (int i = 0; i < 200 && open != 0; ++i) {
    open = server.openConnections();
    if (open != 0) std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(open, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "handler failed\n");
}

// Runs serve on its own loop until it fails or `limit` passes.
std::exception_ptr serveFailure(std::shared_ptr<AsyncHttpServer> server, uint16_t port, std::string address) {
  asio::io_context io;
  std::exception_ptr failure;
  asio::co_spawn(io, serve(server, port, testCallback, std::move(address), 5),
                 [&](std::exception_ptr e) { failure = e; });
  io.run_for(10s);
  return failure;
}

TEST(Transport, serveFailures) {
  TestServer running;
  auto failure = serveFailure(newAsyncHttpServer(true, 4096), running.port(), "127.0.0.1");
  try {
    ASSERT_TRUE(failure);
    std::rethrow_exception(failure);
  } catch (const OsError& e) {
    EXPECT_EQ(e.code().value(), 98);
    EXPECT_EQ(e.additionalInfo(), "");
  }
  failure = serveFailure(newAsyncHttpServer(true, 4096), 0, "no-such-host.invalid");
  try {
    ASSERT_TRUE(failure);
    std::rethrow_exception(failure);
  } catch (const OsError& e) {
    // The resolver's text; no system error lies behind a name that is unknown.
    EXPECT_EQ(e.code().value(), 0);
    EXPECT_TRUE(e.additionalInfo() == ::gai_strerror(EAI_NONAME) || e.additionalInfo() == ::gai_strerror(EAI_AGAIN) ||
                e.additionalInfo() == ::gai_strerror(EAI_FAIL))
        << e.additionalInfo();
  }
}

TEST(Transport, serveResolvesHostNames) {
  auto server = newAsyncHttpServer(true, 4096);
  asio::io_context io;
  asio::co_spawn(io, serve(server, 0, testCallback, "localhost", 5), [](std::exception_ptr) {});
  for (int i = 0; i < 500 && server->boundPort == 0; ++i) io.run_one_for(10ms);
  ASSERT_NE(server->boundPort, 0);
  // The budget leaves out what the process holds already: at least the three
  // standard streams and the listening socket.
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  EXPECT_GT(server->maxFDs, 0);
  EXPECT_LE(server->maxFDs, static_cast<int64_t>(limit.rlim_cur) - 1 - 4);
  std::thread loop([&] { io.run_for(5s); });
  EXPECT_EQ(test::roundTrip(server->boundPort, "GET / HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
  io.stop();
  loop.join();
}

std::string testDataPath(const std::string& name) { return (test::sourceDir() / "tests/data" / name).string(); }

void speakTls(AsyncHttpServer& server) {
  server.tls = std::make_shared<TlsContext>(testDataPath("tls-test-certificate.pem"), testDataPath("tls-test-key.pem"));
}

test::ProcessResult openSslClient(uint16_t port, std::vector<std::string> options, const std::string& input = {}) {
  std::vector<std::string> command{"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(port)};
  command.insert(command.end(), options.begin(), options.end());
  return runProgram(command, input);
}

TEST(TransportTls, realClientsSpeakHttpThroughTls) {
  TestServer server(speakTls);
  test::TempDir folder;
  const int sendFilesBefore = sendFileCalls;
  const auto python = runProgram({"python3", (test::sourceDir() / "tests/support/tls_client.py").string(),
                                  std::to_string(server.port()), testDataPath("tls-test-certificate.pem"),
                                  folder.path().string()});
  ASSERT_EQ(python.exitStatus, 0) << python.err;
  const JsonValue parsed = parseJson(python.out);
  const JsonObject& result = parsed.asObject();
  EXPECT_EQ(result.at("version").asString(), "TLSv1.3");
  EXPECT_EQ(result.at("alpn").asString(), "http/1.1");
  EXPECT_EQ(result.at("first").asString(), "GET /first  HTTP/1.1 127.0.0.1\nhost:[localhost]\nbody=");
  EXPECT_EQ(result.at("second").asString(), "POST /second  HTTP/1.1 127.0.0.1\ncontent-length:[5]\nbody=hello");
  EXPECT_EQ(toCompactJson(result.at("pipelined")), R"(["/a","/b","/c"])");
  EXPECT_TRUE(result.at("reused").asBool());
  EXPECT_TRUE(result.at("freshTicket").asBool());
  EXPECT_EQ(result.at("resumed").asString(), "GET /resumed  HTTP/1.1 127.0.0.1\nbody=");
  EXPECT_EQ(result.at("refused").asString(), "HTTP/1.1 413 Request Entity Too Large");
  EXPECT_EQ(result.at("afterEnd").asString(), "") << "a record sent after the client's end without close_notify";
  // The large read-only body arrives whole, encrypted by OpenSSL rather than sent from the file.
  EXPECT_EQ(test::readFile(folder.path() / "embedded"), test::readOnlyBytes());
  EXPECT_EQ(sendFileCalls, sendFilesBefore);
  const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/curl";
  const auto curl = runProgram({"curl", "-sS", "--cacert", testDataPath("tls-test-certificate.pem"), url});
  EXPECT_EQ(curl.out.substr(0, 36), "GET /curl  HTTP/1.1 127.0.0.1\nhost:[") << curl.err;
  // Without the certificate trusted, curl refuses the server, and the server carries on.
  EXPECT_NE(runProgram({"curl", "-sS", url}).exitStatus, 0);
  EXPECT_EQ(runProgram({"curl", "-sS", "--cacert", testDataPath("tls-test-certificate.pem"), url}).out, curl.out);
}

TEST(TransportTls, onlyTls12And13WithHttp11AndNoRenegotiation) {
  TestServer server(speakTls);
  // The client's own floor is lowered, so that it really offers the old versions.
  for (const char* old : {"-tls1", "-tls1_1"}) {
    const auto refused = openSslClient(server.port(), {old, "-cipher", "DEFAULT@SECLEVEL=0"});
    EXPECT_NE(refused.exitStatus, 0) << old;
    EXPECT_NE((refused.out + refused.err).find("alert protocol version"), std::string::npos) << refused.err;
  }
  for (const char* version : {"-tls1_2", "-tls1_3"}) {
    const auto accepted = openSslClient(server.port(), {version, "-alpn", "h2,http/1.1"});
    EXPECT_EQ(accepted.exitStatus, 0) << accepted.err;
    EXPECT_NE(accepted.out.find("ALPN protocol: http/1.1"), std::string::npos) << accepted.out;
    EXPECT_NE(accepted.out.find("Compression: NONE"), std::string::npos) << accepted.out;
  }
  // The server's order decides, but for a client that puts ChaCha20 first.
  const auto chosen = [&](const char* ciphers) {
    return openSslClient(server.port(), {"-tls1_2", "-cipher", ciphers}).out;
  };
  EXPECT_NE(chosen("ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES128-GCM-SHA256")
                .find("Cipher is ECDHE-ECDSA-AES128-GCM-SHA256"),
            std::string::npos);
  EXPECT_NE(chosen("ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-ECDSA-AES128-GCM-SHA256")
                .find("Cipher is ECDHE-ECDSA-CHACHA20-POLY1305"),
            std::string::npos);
  // "R" asks s_client to renegotiate; the session must not go on afterwards.
  const auto renegotiating = openSslClient(server.port(), {"-tls1_2"}, "R\nGET /after HTTP/1.1\r\n\r\n");
  EXPECT_NE(renegotiating.err.find("RENEGOTIATING"), std::string::npos) << renegotiating.err;
  EXPECT_NE(renegotiating.err.find("no renegotiation"), std::string::npos) << renegotiating.err;
  EXPECT_EQ(renegotiating.out.find("GET /after"), std::string::npos) << renegotiating.out;
  EXPECT_EQ(test::statusOf(test::roundTrip(server.port(), "GET / HTTP/1.1\r\n\r\n")), 200);
}

TEST(TransportTls, sessionTicketsOutliveOneKeyRotationButNotTwo) {
  auto minutesLater = std::make_shared<std::atomic<int>>(0);
  TestServer server([minutesLater](AsyncHttpServer& s) {
    s.tls = std::make_shared<TlsContext>(testDataPath("tls-test-certificate.pem"), testDataPath("tls-test-key.pem"),
                                         [minutesLater] { return Clock::now() + std::chrono::minutes(*minutesLater); });
  });
  test::TempDir folder;
  const std::string session = (folder.path() / "session").string();
  // TLS 1.2 hands its ticket over within the handshake, so s_client can keep it.
  const auto resumes = [&](int minutes) {
    *minutesLater = minutes;
    const auto client = openSslClient(server.port(), {"-tls1_2", "-sess_in", session});
    return client.out.find("Reused, TLSv1.2") != std::string::npos;
  };
  openSslClient(server.port(), {"-tls1_2", "-sess_out", session});
  EXPECT_TRUE(resumes(59));
  // Once its key has been replaced, at 60 minutes, it still opens the ticket.
  EXPECT_TRUE(resumes(61));
  // The second replacement, at 121 minutes, drops it.
  EXPECT_FALSE(resumes(125));
  openSslClient(server.port(), {"-tls1_2", "-sess_out", session});
  EXPECT_TRUE(resumes(130));
}

TEST(TransportTls, hostileHandshakesEndWithinTheirDeadline) {
  TestServer server([](AsyncHttpServer& s) {
    speakTls(s);
    s.handshakeTimeout = 500ms;
    s.maxConnectionsPerAddress = 2;
  });
  // Garbage where a hello should be ends the connection at once.
  RawClient garbage(server.port(), 3s);
  const auto start = Clock::now();
  garbage.send(std::string("\x16garbage instead of a hello\r\n\r\n"));
  garbage.readAll();
  EXPECT_LT(Clock::now() - start, 400ms);
  // A hello cut short, and a client that sends nothing, last until the deadline and no longer.
  RawClient cut(server.port(), 3s);
  RawClient silent(server.port(), 3s);
  cut.send(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(60, '\x2a'));
  // Connections in their handshake count against the address's share.
  RawClient third(server.port(), 3s);
  EXPECT_EQ(third.readAll(), "");
  EXPECT_LT(Clock::now() - start, 400ms);
  EXPECT_EQ(server.openConnections(), 2);
  cut.readAll();
  EXPECT_TRUE(silent.peerClosed());
  EXPECT_GE(Clock::now() - start, 450ms);
  EXPECT_LT(Clock::now() - start, 2s);
  // A request in clear is still read, marked for the redirect the server answers with.
  EXPECT_EQ(bodyOf(test::roundTrip(server.port(), "GET /redirects HTTP/1.1\r\n\r\n")), "yes");
  // A handshake done in time leaves the connection to the deadlines of requests.
  const char* requestAfterTheDeadline = R"(
import socket, ssl, sys, time
context = ssl.create_default_context()
context.check_hostname = False
context.verify_mode = ssl.CERT_NONE
client = context.wrap_socket(socket.create_connection(("127.0.0.1", int(sys.argv[1]))))
time.sleep(0.8)
client.sendall(b"GET /late HTTP/1.1\r\nHost: localhost\r\n\r\n")
print(client.recv(4096).decode(errors="replace"), end="")
)";
  const auto late = runProgram({"python3", "-c", requestAfterTheDeadline, std::to_string(server.port())});
  EXPECT_EQ(late.out.substr(0, 15), "HTTP/1.1 200 OK") << late.err;
}

TEST(TransportTls, tlsHelloOnAPlainPortIsRefusedInClear) {
  TestServer server;
  const auto client = openSslClient(server.port(), {});
  EXPECT_NE(client.exitStatus, 0);
  EXPECT_EQ(bodyOf(test::roundTrip(server.port(), "GET /redirects HTTP/1.1\r\n\r\n")), "no");
  for (int i = 0; i < 100 && server.openConnections() > 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(server.openConnections(), 0);
}

}  // namespace
}  // namespace nc
