#include <gtest/gtest.h>

#include <atomic>

#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "server/http_error.h"
#include "server/http_server.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

const std::string forbiddenBody = "{\"error\":{\"code\":28002,\"message\":\"Insufficient access right\"}}";
const std::string unspecifiedBody = "{\"error\":{\"code\":10000,\"message\":\"Unspecified error\"}}";

std::string jsonReply(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

asio::awaitable<void> yieldOnce() { co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable); }

std::string get(RawClient& client, const std::string& path) {
  client.send("GET " + path + " HTTP/1.1\r\n\r\n");
  return client.readResponse();
}

}  // namespace

TEST(HttpServer, unmountedPathGetsThe404Default) {
  InProcessServer running(newHttpServer(4096));
  EXPECT_EQ(roundTrip(running.port(), "GET /nowhere HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 404 Not Found\r\nContent-Length: 13\r\n\r\n404 Not Found");
}

TEST(HttpServer, failuresBecomeJsonErrorsAndTheConnectionGoesOn) {
  auto server = newHttpServer(4096);
  // Not a coroutine: throws as it is called, before any suspension point.
  mount(*server, "throwsAtOnce", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    raiseHttpException(403, ErrorCode::InsufficientAccessRight);
  });
  mount(*server, "failsLater", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    co_await yieldOnce();
    raiseHttpException(403, ErrorCode::InsufficientAccessRight);
  });
  mount(*server, "notHttp", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    co_await yieldOnce();
    throw std::runtime_error("disk on fire");
  });
  mount(*server, "ok", [](std::shared_ptr<Session> s) -> asio::awaitable<void> { co_await respond(*s, 200, "fine"); });
  InProcessServer running(server);
  RawClient client(running.port());

  EXPECT_EQ(get(client, "/throwsAtOnce"), jsonReply("403 Forbidden", forbiddenBody));
  EXPECT_EQ(get(client, "/failsLater"), jsonReply("403 Forbidden", forbiddenBody));
  EXPECT_EQ(get(client, "/notHttp"), jsonReply("500 Internal Server Error", unspecifiedBody));
  EXPECT_EQ(get(client, "/ok"), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfine");
}

TEST(HttpServer, customHookAndAFailingHook) {
  auto server = newHttpServer(4096);
  mount(*server, "fails", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    throw std::runtime_error("boom");
    co_return;
  });
  int hookCalls = 0;
  catchErrors(*server, [&hookCalls](std::shared_ptr<Session> s, std::exception_ptr) -> asio::awaitable<void> {
    if (++hookCalls == 2) throw std::runtime_error("the hook itself fails");
    co_await respond(*s, 418, "hooked");
  });
  mount(*server, "ok", [](std::shared_ptr<Session> s) -> asio::awaitable<void> { co_await respond(*s, 200, "fine"); });
  InProcessServer running(server);
  RawClient client(running.port());

  EXPECT_EQ(get(client, "/fails"), "HTTP/1.1 418 I'm a teapot\r\nContent-Length: 6\r\n\r\nhooked");
  // The second failure's hook throws before replying: nothing is sent, yet the
  // connection still serves the next request.
  client.send("GET /fails HTTP/1.1\r\n\r\nGET /ok HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.readResponse(), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfine");
  EXPECT_EQ(hookCalls, 2);
}

TEST(HttpServer, theErrorHookAnswersFromItsTableAndReportsTheRest) {
  struct QuotaError : std::runtime_error {
    QuotaError() : std::runtime_error("quota exhausted") {}
  };
  auto server = newHttpServer(4096);
  mount(*server, "quota", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    co_await yieldOnce();
    throw QuotaError();
  });
  mount(*server, "other", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    co_await yieldOnce();
    throw std::runtime_error("disk on fire");
  });
  FailureTable failures;
  failures.add<QuotaError>(409, ErrorCode::ExceedLimit);
  auto reported = std::make_shared<std::vector<std::string>>();
  catchErrors(*server, answerFailures(failures, [reported](const std::string& text) { reported->push_back(text); }));
  InProcessServer running(server);
  RawClient client(running.port());

  EXPECT_EQ(get(client, "/quota"),
            jsonReply("409 Conflict", R"({"error":{"code":25000,"message":"Exceed limit"}})"));
  EXPECT_EQ(get(client, "/other"), jsonReply("500 Internal Server Error", unspecifiedBody));
  EXPECT_EQ(*reported, std::vector<std::string>{"disk on fire"});
}

TEST(HttpServer, sessionCarriesRestPathAndQuery) {
  auto server = newHttpServer(4096);
  auto seen = std::make_shared<std::string>();
  mount(*server, "rpc/v1", [seen](std::shared_ptr<Session> s) -> asio::awaitable<void> {
    *seen = s->path + "|" + s->request.url.query;
    co_await respond(*s, 200);
  });
  InProcessServer running(server);
  roundTrip(running.port(), "POST /rpc/v1/login/password?x=1 HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(*seen, "login/password|x=1");
}

// A handler's session names the connection's one request record: requests
// sent together are each seen whole by their own handler, even one that waits
// before it reads its request, and none is read while a handler runs.
asio::awaitable<void> echoAfterAWait(std::shared_ptr<Session> session) {
  co_await yieldOnce();
  co_await yieldOnce();
  const HttpRequest& request = session->request;
  co_await respond(*session, 200, request.url.path + " " + std::string(request.headers.first("x-n")) + " " + request.body);
}

TEST(HttpServer, pipelinedRequestsEachKeepTheirOwnRecord) {
  auto server = newHttpServer(4096);
  mount(*server, "echo", echoAfterAWait);
  InProcessServer running(server);
  RawClient client(running.port(), std::chrono::seconds(5));
  client.send("GET /echo/a HTTP/1.1\r\nX-N: 1\r\n\r\n"
              "POST /echo/b HTTP/1.1\r\nX-N: 2\r\nContent-Length: 3\r\n\r\nxyz"
              "GET /echo/c HTTP/1.1\r\nConnection: close\r\n\r\n");
  for (const std::string expected : {"/echo/a 1 ", "/echo/b 2 xyz", "/echo/c  "}) {
    EXPECT_EQ(bodyOf(client.readResponse()), expected);
  }
}

// The transport decides about keep-alive from the request, and closes after
// the handler and the error hook are done with it; a reply after which the
// connection closes says so.
TEST(HttpServer, keepAliveFollowsTheRequestAfterItsHandler) {
  auto server = newHttpServer(4096);
  mount(*server, "ok", [](std::shared_ptr<Session> s) -> asio::awaitable<void> { co_await respond(*s, 200, "fine"); });
  mount(*server, "fails", [](std::shared_ptr<Session>) -> asio::awaitable<void> {
    co_await yieldOnce();
    throw std::runtime_error("boom");
  });
  InProcessServer running(server);
  for (const std::string path : {"/ok", "/fails"}) {
    RawClient closing(running.port(), std::chrono::seconds(2));
    closing.send("GET " + path + " HTTP/1.1\r\nConnection: close\r\n\r\n");
    const std::string reply = closing.readResponse();
    const std::string head = reply.substr(0, reply.find("\r\n\r\n") + 2);
    EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos) << path << "\n" << reply;
    EXPECT_TRUE(closing.peerClosed()) << path;
    RawClient old(running.port(), std::chrono::seconds(2));
    old.send("HEAD " + path + " HTTP/1.0\r\n\r\n");
    EXPECT_NE(old.readAll().find("\r\nConnection: close\r\n"), std::string::npos) << path;
    RawClient keeping(running.port(), std::chrono::seconds(2));
    keeping.send("GET " + path + " HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_FALSE(keeping.readResponse().empty()) << path;
    EXPECT_EQ(get(keeping, "/ok"), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfine") << path;
  }
}


TEST(HttpServer, requestsNamingAnotherHostAreRefusedBeforeAnyHandler) {
  auto server = newHttpServer(4096);
  auto handled = std::make_shared<std::atomic<int>>(0);
  mount(*server, "", [handled](std::shared_ptr<Session> session) -> asio::awaitable<void> {
    ++*handled;
    co_await respond(*session, 200, "ok");
  });
  server->allowedHosts = newAllowedHosts("gateway", "console.example.net");
  InProcessServer running(server);
  const std::string forbidden = "{\"error\":{\"code\":28000,\"message\":\"Forbidden\"}}";
  for (const char* host : {"127.0.0.1", "127.0.0.1:9992", "[::1]:9992", "localhost", "gateway.local:80",
                           "Console.Example.Net"})
    EXPECT_EQ(200, statusOf(roundTrip(running.port(), "GET / HTTP/1.1\r\nHost: " + std::string(host) + "\r\n\r\n")))
        << host;
  EXPECT_EQ(6, handled->load());
  for (const std::string request : {"GET / HTTP/1.1\r\nHost: evil.example\r\n\r\n",
                                    "POST /rpc/v1/login/password HTTP/1.1\r\nHost: evil.example:9992\r\n"
                                    "Content-Length: 2\r\n\r\n{}",
                                    "GET / HTTP/1.1\r\n\r\n", "GET / HTTP/1.0\r\nHost: evil.example\r\n\r\n"}) {
    const std::string reply = roundTrip(running.port(), request);
    EXPECT_EQ(403, statusOf(reply)) << request;
    EXPECT_EQ(forbidden, bodyOf(reply)) << request;
  }
  EXPECT_EQ(6, handled->load());
  EXPECT_EQ(200, statusOf(roundTrip(running.port(), "GET / HTTP/1.0\r\n\r\n")));
}

TEST(HttpServer, clearRequestsOnATlsPortAreRedirectedAfterTheHostCheck) {
  auto server = newHttpServer(4096);
  auto handled = std::make_shared<std::atomic<int>>(0);
  mount(*server, "", [handled](std::shared_ptr<Session> session) -> asio::awaitable<void> {
    ++*handled;
    co_await respond(*session, 200, "ok");
  });
  server->allowedHosts = newAllowedHosts("gateway", "");
  const std::string data = (sourceDir() / "tests/data").string();
  server->server->tls =
      std::make_shared<TlsContext>(data + "/tls-test-certificate.pem", data + "/tls-test-key.pem");
  InProcessServer running(server);
  const std::string port = std::to_string(running.port());
  RawClient named(running.port());
  named.send("GET /ui/x?a=1 HTTP/1.1\r\nHost: gateway:" + port + "\r\n\r\nGET /again HTTP/1.1\r\n\r\n");
  EXPECT_EQ(named.readAll(), "HTTP/1.1 308 Permanent Redirect\r\nLocation: https://gateway:" + port +
                                 "/ui/x?a=1\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
  // Without a Host, the address the request came in on.
  EXPECT_EQ(roundTrip(running.port(), "GET / HTTP/1.0\r\n\r\n"),
            "HTTP/1.1 308 Permanent Redirect\r\nLocation: https://127.0.0.1:" + port +
                "/\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
  RawClient foreign(running.port());
  foreign.send("GET / HTTP/1.1\r\nHost: evil.example\r\n\r\n");
  const std::string refused = foreign.readAll();
  EXPECT_EQ(statusOf(refused), 403);
  EXPECT_EQ(refused.find("evil"), std::string::npos);
  EXPECT_EQ(handled->load(), 0);
}

}  // namespace nc::test
