#include "transport/request_parsing.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

#include <limits>
#include <string>
#include <vector>

namespace nc {
namespace {

// Feeds `input` in pieces of `chunk` bytes, as reads would deliver it, and
// collects the lines; what is left at the end is the last line.
std::vector<std::string> scanLines(std::string_view input, size_t chunk) {
  LineScanner scanner;
  std::vector<std::string> lines;
  scanner.start();
  for (size_t at = 0; at < input.size(); at += chunk) {
    std::string_view piece = input.substr(at, chunk);
    while (!piece.empty()) {
      LineStatus status = scanner.feed(piece);
      if (status == LineStatus::tooLong) return {"too long"};
      if (status == LineStatus::incomplete) continue;
      lines.push_back(scanner.line());
      scanner.start();
    }
  }
  if (!scanner.line().empty()) lines.push_back(scanner.line());
  return lines;
}

using Lines = std::vector<std::string>;

TEST(RequestParsing, lineTerminators) {
  struct Case {
    std::string input;
    Lines lines;
  };
  const std::vector<Case> cases{
      {"a\nb\r\n", {"a", "b"}},
      {"a\rXb\n", {"a", "b"}},
      {"\r\n", {"\r\n"}},
      {"\n", {"\r\n"}},
      {"\rX", {"\r\n"}},
      {"a\r\r\nb", {"a", "\r\n", "b"}},
      {"GET / HTTP/1.1\r\nHost: h\r\n\r\n", {"GET / HTTP/1.1", "Host: h", "\r\n"}},
      {"abc", {"abc"}},
      {"a\r", {"a"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    for (size_t chunk = 1; chunk <= std::max<size_t>(c.input.size(), 1); ++chunk) {
      EXPECT_EQ(scanLines(c.input, chunk), c.lines) << "input " << testing::PrintToString(c.input) << " chunk " << chunk;
    }
  }
}

TEST(RequestParsing, lineLengthLimit) {
  for (size_t chunk : {size_t{1000}, size_t{4000}, size_t{20000}}) {
    for (size_t length : {maxLineLength - 1, maxLineLength, maxLineLength + 1, maxLineLength + 500}) {
      std::string input = std::string(length, 'a') + "\r\nnext";
      LineScanner scanner;
      scanner.start();
      std::string_view rest = input;
      LineStatus status = LineStatus::incomplete;
      while (status == LineStatus::incomplete && !rest.empty()) {
        std::string_view piece = rest.substr(0, chunk);
        size_t before = piece.size();
        status = scanner.feed(piece);
        rest.remove_prefix(before - piece.size());
      }
      if (length <= maxLineLength) {
        EXPECT_EQ(status, LineStatus::complete) << length;
        EXPECT_EQ(scanner.line().size(), length);
        EXPECT_EQ(rest, "next");
      } else {
        EXPECT_EQ(status, LineStatus::tooLong) << length;
        // The rest of the long line is left unread.
        EXPECT_EQ(rest.size(), input.size() - (maxLineLength + 1)) << length;
      }
    }
  }
}

TEST(RequestParsing, naturalNumbers) {
  constexpr int64_t largest = std::numeric_limits<int64_t>::max();
  struct Case {
    std::string text;
    size_t used;
    int64_t value;
  };
  const std::vector<Case> cases{
      {"12abc", 2, 12},     {"+1_0", 4, 10},   {"1__2_", 5, 12},  {"0", 1, 0},
      {"4096", 4, 4096},    {"9223372036854775807", 19, largest},
      {"9223372036854775808", 19, largest},    {"123456789012345678901234", 24, largest},
      {"abc", 0, -1},       {" 5", 0, -1},     {"+", 0, -1},      {"+_1", 0, -1},
      {"_1", 0, -1},        {"-5", 0, -1},     {"", 0, -1},       {"++1", 0, -1},
  };
  for (const auto& c : cases) {
    int64_t value = -1;
    EXPECT_EQ(parseNatural(c.text, value), c.used) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(RequestParsing, protocol) {
  struct Case {
    std::string text;
    int64_t major, minor;
  };
  const std::vector<Case> cases{{"HTTP/1.1", 1, 1}, {"http/1.0", 1, 0}, {"HTTP/2", 2, 0},
                                {"HTTP/", 0, 0},    {"HTTP/1.1x", 1, 1}, {"HTTP/x.1", 0, 0},
                                {"Http/10.20", 10, 20}};
  for (const auto& c : cases) {
    HttpProtocol protocol = parseProtocol(c.text);
    EXPECT_EQ(protocol.text, c.text);
    EXPECT_EQ(protocol.major, c.major) << c.text;
    EXPECT_EQ(protocol.minor, c.minor) << c.text;
  }
  for (std::string text : {"FTP/1.0", "", "HTTP", "HTTP1.1", " HTTP/1.1"}) {
    try {
      parseProtocol(text);
      ADD_FAILURE() << "accepted " << text;
    } catch (const InvalidProtocolError& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid request protocol. Got: " + text);
    }
  }
}

TEST(RequestParsing, requestLine) {
  HttpRequest request;
  ASSERT_TRUE(applyRequestLine("GET /ui HTTP/1.1", request));
  EXPECT_EQ(request.reqMethod, HttpMethod::HttpGet);
  EXPECT_EQ(request.url.path, "/ui");
  EXPECT_EQ(request.protocol.major, 1);
  EXPECT_EQ(request.protocol.minor, 1);

  ASSERT_TRUE(applyRequestLine("PATCH /p?q#f HTTP/1.0", request));
  EXPECT_EQ(request.reqMethod, HttpMethod::HttpPatch);
  EXPECT_EQ(request.url.query, "q");
  EXPECT_EQ(request.protocol.text, "HTTP/1.0");

  // Fields a short line leaves out do not keep the previous request's values.
  ASSERT_TRUE(applyRequestLine("POST /only", request));
  EXPECT_EQ(request.reqMethod, HttpMethod::HttpPost);
  EXPECT_EQ(request.url.path, "/only");
  EXPECT_EQ(request.protocol.text, "");
  EXPECT_EQ(request.protocol.major, 0);
  ASSERT_TRUE(applyRequestLine("DELETE", request));
  EXPECT_EQ(request.url.path, "");

  for (std::string line : {"get / HTTP/1.1", "GET / FTP/1.0", "GET / HTTP/1.1 extra", "GET  / HTTP/1.1",
                           "GET / HTTP/1.1 ", "\r\n", "", " GET / HTTP/1.1", "FETCH / HTTP/1.1"}) {
    EXPECT_FALSE(applyRequestLine(line, request)) << line;
  }
}

TEST(RequestParsing, headerLines) {
  struct Case {
    std::string line;
    std::string name;
    HeaderValues values;
  };
  const std::vector<Case> cases{
      {"X: a, b", "x", {"a", "b"}},
      {"X:a,,b", "x", {"a", "", "b"}},
      {"X: a ,\t b ", "x", {"a ", "b "}},
      // Every comma starts a value, so an empty element is kept wherever it is.
      {"X: a,", "x", {"a", ""}},
      {"X: , a", "x", {"", "a"}},
      {"X: ,", "x", {"", ""}},
      {"Access-Control-Request-Method: POST,", "access-control-request-method", {"POST", ""}},
      {"Cookie: a=1, b=2", "cookie", {"a=1, b=2"}},
      {"COOKIE:   c=3", "cookie", {"c=3"}},
      {"Content-Type: Text/HTML", "content-type", {"Text/HTML"}},
      {"Host: h:8080", "host", {"h:8080"}},
      {"X:", "x", {""}},
      {"X: ", "x", {""}},
      {"NoColon", "nocolon", {""}},
      {": v", "", {"v"}},
      {"Name :v", "name ", {"v"}},
  };
  for (const auto& c : cases) {
    HttpHeaders headers;
    parseHeader(c.line, headers);
    ASSERT_EQ(headers.size(), 1u) << c.line;
    EXPECT_EQ(headers.begin()->first, c.name) << c.line;
    EXPECT_EQ(headers.begin()->second, c.values) << c.line;
  }

  HttpHeaders headers;
  parseHeader(":", headers);
  EXPECT_EQ(headers.size(), 0u);
  // A repeated name keeps only its last line, whatever the spelling.
  parseHeader("X-List: a, b, c", headers);
  parseHeader("x-list: d", headers);
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(*headers.get("X-List"), HeaderValues{"d"});
}

// The charge of a header line covers what storing it really takes, as the
// heap counts it.
TEST(RequestParsing, headerLineCost) {
  auto heldBy = [](std::string_view line) {
    const size_t before = test::bytesAllocated();
    HttpHeaders headers;
    parseHeader(line, headers);
    return test::bytesAllocated() - before;
  };
  for (const std::string& line : std::vector<std::string>{"X: " + std::string(8185, ','), "X:" + std::string(8000, 'v'),
                           "Accept: a, b, " + std::string(40, 'c') + ", d", "Cookie: a=1, b=2, c=3", "NoColon",
                           "X:", ":"}) {
    EXPECT_GE(headerLineCost(line), heldBy(line)) << line.substr(0, 20);
  }
  // Past a few dozen names each is indexed as well.
  size_t charged = 0;
  const size_t before = test::bytesAllocated();
  HttpHeaders many;
  for (int i = 0; i < 100; ++i) {
    const std::string line = "Name-" + std::to_string(i) + ": v";
    charged += headerLineCost(line);
    parseHeader(line, many);
  }
  EXPECT_GE(charged, test::bytesAllocated() - before);
  EXPECT_EQ(headerLineCost("X: ,,"), headerNameOverhead + 2 + 3 * headerValueOverhead + 5);
  // Commas in a cookie are part of its one value.
  EXPECT_EQ(headerLineCost("Cookie: ,,"), headerNameOverhead + 12 + headerValueOverhead + 10);
}

TEST(RequestParsing, keepAlive) {
  struct Case {
    std::string protocol;
    std::string connection;  // empty: no header
    bool keeps;
  };
  const std::vector<Case> cases{
      {"HTTP/1.1", "", true},           {"HTTP/1.1", "close", false},      {"HTTP/1.1", "Close", false},
      {"HTTP/1.1", "keep-alive", true}, {"HTTP/1.0", "", false},           {"HTTP/1.0", "keep-alive", true},
      {"HTTP/1.0", "Keep-Alive", true}, {"HTTP/1.0", "close", false},      {"HTTP/2.0", "", false},
      {"HTTP/1.2", "keep-alive", false}, {"HTTP/0.9", "keep-alive", false},
  };
  for (const auto& c : cases) {
    HttpHeaders headers;
    if (!c.connection.empty()) headers.set("Connection", c.connection);
    EXPECT_EQ(keepsAlive(parseProtocol(c.protocol), headers), c.keeps) << c.protocol << " " << c.connection;
  }
  EXPECT_FALSE(keepsAlive(HttpProtocol{}, HttpHeaders{}));
}

}  // namespace
}  // namespace nc
