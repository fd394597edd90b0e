#include <gtest/gtest.h>

#include "server/http_server.h"
#include "server/http_session.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

std::string get(uint16_t port, const std::string& path) {
  return roundTrip(port, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
}

}  // namespace

TEST(HttpSession, headerCase) {
  EXPECT_EQ(httpHeaderCase("content-type"), "Content-Type");
  EXPECT_EQ(httpHeaderCase("access-control-allow-origin"), "Access-Control-Allow-Origin");
  EXPECT_EQ(httpHeaderCase("location"), "Location");
  EXPECT_EQ(httpHeaderCase("content_type"), "Content-Type");
  EXPECT_EQ(httpHeaderCase("contentType"), "Content-Type");
  EXPECT_EQ(httpHeaderCase("ETag"), "E-Tag");
  EXPECT_EQ(httpHeaderCase("x--y"), "X-Y");
  EXPECT_EQ(httpHeaderCase("x-_-y"), "X-Y");
  EXPECT_EQ(httpHeaderCase("-x"), "-x");
  EXPECT_EQ(httpHeaderCase("_x"), "_x");
  EXPECT_EQ(httpHeaderCase("x-"), "X-");
  EXPECT_EQ(httpHeaderCase("x-9a-b"), "X-9a-B");
  EXPECT_EQ(httpHeaderCase("x-Y"), "X-Y");
  EXPECT_EQ(httpHeaderCase("x-"), "X-");
  EXPECT_EQ(httpHeaderCase("a"), "A");
  EXPECT_EQ(httpHeaderCase(""), "");
  EXPECT_EQ(httpHeaderCase("x-Y"), "X-Y");
  EXPECT_EQ(httpHeaderCase("\xc3\xa9t\xc3\xa9"), "\xc3\xa9t\xc3\xa9");
}

TEST(HttpSession, exactReplyBytesOfEachForm) {
  auto server = newHttpServer(4096);
  mount(*server, "empty404", [](std::shared_ptr<Session> s) -> asio::awaitable<void> { co_await respond(*s, 404); });
  mount(*server, "status404",
        [](std::shared_ptr<Session> s) -> asio::awaitable<void> { co_await respondStatus(*s, 404); });
  mount(*server, "json", [](std::shared_ptr<Session> s) -> asio::awaitable<void> {
    JsonValue value = parseJson(R"({"a":1})");
    co_await respondJson(*s, value);
  });
  mount(*server, "json403", [](std::shared_ptr<Session> s) -> asio::awaitable<void> {
    JsonValue value = parseJson(R"({"b":"c"})");
    HttpHeaders headers{{"content-type", "text/plain"}};
    co_await respondJson(*s, 403, value, headers);
  });
  mount(*server, "utf8", [](std::shared_ptr<Session> s) -> asio::awaitable<void> {
    co_await respond(*s, 200, "gr\xc3\xbc\xc3\x9f \xe2\x82\xac");
  });
  mount(*server, "twice", [](std::shared_ptr<Session> s) -> asio::awaitable<void> {
    HttpHeaders headers;
    headers.set("set-cookie", HeaderValues{"a=1", "b=2"});
    co_await respond(*s, 200, "x", headers);
  });
  mount(*server, "length", [](std::shared_ptr<Session> s) -> asio::awaitable<void> {
    HttpHeaders headers{{"content-length", "99"}, {"x-a", "1"}};
    co_await respond(*s, 200, "abc", headers);
  });
  mount(*server, "teapot", [](std::shared_ptr<Session> s) -> asio::awaitable<void> { co_await respondStatus(*s, 402); });
  InProcessServer running(server);
  uint16_t port = running.port();

  EXPECT_EQ(get(port, "/empty404"), "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(get(port, "/status404"), "HTTP/1.1 404 Not Found\r\nContent-Length: 13\r\n\r\n404 Not Found");
  EXPECT_EQ(get(port, "/json"),
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 7\r\n\r\n{\"a\":1}");
  // The JSON form replaces an earlier content type rather than adding a second one.
  EXPECT_EQ(get(port, "/json403"),
            "HTTP/1.1 403 Forbidden\r\nContent-Type: application/json\r\nContent-Length: 9\r\n\r\n{\"b\":\"c\"}");
  // Lengths count bytes, not characters.
  EXPECT_EQ(get(port, "/utf8"), "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\ngr\xc3\xbc\xc3\x9f \xe2\x82\xac");
  EXPECT_EQ(get(port, "/twice"),
            "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\nContent-Length: 1\r\n\r\nx");
  // Only the true length goes out, never a second, different one.
  EXPECT_EQ(get(port, "/length"), "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 3\r\n\r\nabc");
  // A code without a reason phrase prints as its bare number.
  EXPECT_EQ(get(port, "/teapot"), "HTTP/1.1 402\r\nContent-Length: 3\r\n\r\n402");
}

}  // namespace nc::test
