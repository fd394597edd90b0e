#include "transport/reply_writing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include <asio/io_context.hpp>

#include "support/run_awaitable.h"

namespace nc {
namespace {

// What the client reads of a refusal, to a request of another method or to a HEAD.
std::string refusalAsRead(Refusal refusal, bool answeringHead) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return "no socket pair";
  asio::io_context io;
  asio::ip::tcp::socket serverEnd(io);
  serverEnd.assign(asio::ip::tcp::v4(), ends[0]);
  Connection connection(std::move(serverEnd));
  connection.setAnsweringHead(answeringHead);
  test::runAwaitable(io, writeRefusal(connection, refusal));
  connection.close();
  std::string bytes;
  char buffer[4096];
  for (ssize_t got; (got = ::read(ends[1], buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(got));
  ::close(ends[1]);
  return bytes;
}

// Every refusal the transport sends, byte for byte, as a client reads it; a
// HEAD request gets the head alone.
TEST(ReplyWriting, refusalBytes) {
  struct Case {
    Refusal refusal;
    std::string bytes;
  };
  const Case cases[] = {
      {Refusal::badRequestLine, "HTTP/1.1 400 Bad Request\r\nContent-Length: 15\r\n\r\n400 Bad Request"},
      {Refusal::lineTooLong,
       "HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 28\r\n\r\n413 Request Entity Too Large"},
      {Refusal::repeatedHost, "HTTP/1.1 400 Bad Request\r\nContent-Length: 15\r\n\r\n400 Bad Request"},
      {Refusal::headersTooLarge,
       "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 35\r\n\r\n431 Request Header Fields Too Large"},
      {Refusal::headerMemoryExhausted,
       "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 23\r\n\r\n503 Service Unavailable"},
      {Refusal::expectationFailed, "HTTP/1.1 417 Expectation Failed\r\n\r\n"},
      {Refusal::lengthRequired, "HTTP/1.1 411 Length Required\r\nContent-Length: 24\r\n\r\nContent-Length required."},
      {Refusal::transferEncoding,
       "HTTP/1.1 411 Length Required\r\nContent-Length: 24\r\n\r\nContent-Length required."},
      {Refusal::lengthAndEncoding, "HTTP/1.1 400 Bad Request\r\nContent-Length: 15\r\n\r\n400 Bad Request"},
      {Refusal::unreadableLength,
       "HTTP/1.1 400 Bad Request\r\nContent-Length: 36\r\n\r\nBad Request. Invalid Content-Length."},
      {Refusal::bodyTooLarge,
       "HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 28\r\n\r\n413 Request Entity Too Large"},
      {Refusal::bodyShorterThanLength,
       "HTTP/1.1 400 Bad Request\r\nContent-Length: 50\r\n\r\nBad Request. Content-Length does not match actual."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(refusalAsRead(c.refusal, false), c.bytes) << static_cast<int>(c.refusal);
    EXPECT_EQ(refusalAsRead(c.refusal, true), c.bytes.substr(0, c.bytes.find("\r\n\r\n") + 4))
        << static_cast<int>(c.refusal);
  }
}

// The framework's rules on the same headers: names capitalised, and only the
// true length, whatever length the caller put in.
TEST(ReplyWriting, capitalisedHead) {
  HttpHeaders headers{{"content-length", "99"}, {"access-control-max-age", "1"}};
  headers.set("set-cookie", HeaderValues{"a=1", "b=2"});
  EXPECT_EQ(replyHead(200, headers, 3, HeaderRules::capitalised),
            "HTTP/1.1 200 OK\r\nAccess-Control-Max-Age: 1\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n"
            "Content-Length: 3\r\n\r\n");
  EXPECT_EQ(replyHead(200, headers, 3, HeaderRules::asStored),
            "HTTP/1.1 200 OK\r\ncontent-length: 99\r\naccess-control-max-age: 1\r\nset-cookie: a=1\r\n"
            "set-cookie: b=2\r\n\r\n");
}

}  // namespace
}  // namespace nc
