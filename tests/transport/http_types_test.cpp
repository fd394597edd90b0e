#include "transport/http_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/async_http_server.h"

namespace nc {
namespace {

using Values = HeaderValues;

std::vector<std::string> namesOf(const HttpHeaders& headers) {
  std::vector<std::string> names;
  for (const auto& entry : headers) names.push_back(entry.first);
  return names;
}

TEST(HttpHeaders, storage) {
  HttpHeaders headers{{"Content-Type", "text/plain"}, {"X-A", "1"}, {"Connection", "Keep-Alive"}};
  EXPECT_EQ(namesOf(headers), (std::vector<std::string>{"content-type", "x-a", "connection"}));
  EXPECT_TRUE(headers.contains("CONTENT-TYPE"));
  EXPECT_EQ(headers.first("content-type"), "text/plain");
  EXPECT_EQ(headers.first("missing", "fallback"), "fallback");
  EXPECT_EQ(headers.get("missing"), nullptr);

  headers.set("x-a", Values{"2", "3"});
  EXPECT_EQ(*headers.get("X-A"), (Values{"2", "3"}));
  EXPECT_EQ(headers.size(), 3u);

  // Values match whole and without regard to case, never as substrings.
  EXPECT_TRUE(headers.hasValue("connection", "keep-alive"));
  headers.set("Connection", "keep-alive, Upgrade");
  EXPECT_FALSE(headers.hasValue("connection", "upgrade"));
  headers.set("Connection", Values{"keep-alive", "Upgrade"});
  EXPECT_TRUE(headers.hasValue("connection", "upgrade"));
  EXPECT_FALSE(headers.hasValue("missing", "upgrade"));

  // Deleting keeps the order of the others; a deleted name can come back.
  headers.set("X-A", Values{});
  EXPECT_EQ(namesOf(headers), (std::vector<std::string>{"content-type", "connection"}));
  headers.set("Missing", Values{});
  EXPECT_EQ(headers.size(), 2u);
  headers.set("X-A", "4");
  EXPECT_EQ(namesOf(headers), (std::vector<std::string>{"content-type", "connection", "x-a"}));
  headers.set("empty", Values{""});
  EXPECT_EQ(headers.first("empty", "fallback"), "");
}

TEST(HttpHeaders, reuseAndManyNames) {
  HttpHeaders headers;
  for (int round = 0; round < 2; ++round) {
    headers.clear();
    EXPECT_EQ(headers.size(), 0u);
    EXPECT_EQ(headers.begin(), headers.end());
    for (int i = 0; i < 10001; ++i) headers.slotFor("Name-" + std::to_string(i)) = Values{std::to_string(i)};
    ASSERT_EQ(headers.size(), 10001u);
    EXPECT_EQ(headers.first("name-0"), "0");
    EXPECT_EQ(headers.first("NAME-5000"), "5000");
    EXPECT_EQ(headers.first("name-10000"), "10000");
    EXPECT_FALSE(headers.contains("name-10001"));
  }
  headers.set("name-3", Values{});
  EXPECT_FALSE(headers.contains("name-3"));
  EXPECT_EQ(headers.first("name-4"), "4");
  EXPECT_EQ(std::next(headers.begin(), 3)->first, "name-4");

  // After clear only the live fields count, are seen and are copied.
  headers.clear();
  headers.slotFor("A") = Values{"1"};
  HttpHeaders copy = headers;
  EXPECT_EQ(namesOf(copy), std::vector<std::string>{"a"});
  EXPECT_FALSE(copy.contains("name-1"));
  copy = HttpHeaders{{"b", "2"}};
  EXPECT_EQ(namesOf(copy), std::vector<std::string>{"b"});
  HttpHeaders moved = std::move(copy);
  EXPECT_EQ(namesOf(moved), std::vector<std::string>{"b"});
  // A moved-from set must stay usable.
  EXPECT_EQ(copy.size(), 0u);
  copy.set("c", "3");
  EXPECT_EQ(namesOf(copy), std::vector<std::string>{"c"});
}

// A few names are looked through, many are indexed: every name is found,
// in any case, on either side of the change and after deletes cross it back.
TEST(HttpHeaders, namesFoundAcrossTheIndexThreshold) {
  for (int count : {2, 31, 32, 33, 34, 64}) {
    HttpHeaders headers;
    for (int i = 0; i < count; ++i) headers.set("N-" + std::to_string(i), std::to_string(i));
    for (int i = 0; i < count; ++i) ASSERT_EQ(headers.first("n-" + std::to_string(i)), std::to_string(i)) << count;
    for (int i = 0; i < count; i += 2) headers.set("N-" + std::to_string(i), Values{});
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(headers.contains("N-" + std::to_string(i)), i % 2 == 1) << count << " " << i;
    }
    headers.set("n-1", "again");
    EXPECT_EQ(headers.first("N-1"), "again");
    EXPECT_EQ(headers.size(), static_cast<size_t>(count / 2));
    EXPECT_FALSE(headers.contains("n-" + std::to_string(count)));
  }
}

TEST(HttpTypes, methodsAndStatusTexts) {
  const std::vector<std::string> methods{"HEAD", "GET", "POST", "PUT", "DELETE", "TRACE", "OPTIONS", "CONNECT", "PATCH"};
  for (size_t i = 0; i < methods.size(); ++i) EXPECT_EQ(parseHttpMethod(methods[i]), static_cast<HttpMethod>(i));
  for (std::string word : {"get", "Get", "", "GET ", "PROPFIND"}) EXPECT_FALSE(parseHttpMethod(word)) << word;

  EXPECT_EQ(statusText(200), "200 OK");
  EXPECT_EQ(statusText(100), "100 Continue");
  EXPECT_EQ(statusText(203), "203 Non-Authoritative Information");
  EXPECT_EQ(statusText(413), "413 Request Entity Too Large");
  EXPECT_EQ(statusText(418), "418 I'm a teapot");
  EXPECT_EQ(statusText(431), "431 Request Header Fields Too Large");
  EXPECT_EQ(statusText(505), "505 HTTP Version Not Supported");
  for (int bare : {402, 306, 299, 0, 999}) EXPECT_EQ(statusText(bare), std::to_string(bare));
}

TEST(HttpTypes, replyHead) {
  EXPECT_EQ(replyHead(200, {}, 5), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(replyHead(402, {}, 0), "HTTP/1.1 402\r\nContent-Length: 0\r\n\r\n");
  HttpHeaders headers{{"Content-Type", "application/json"}};
  headers.set("Vary", Values{"a", "b"});
  EXPECT_EQ(replyHead(404, headers, 12),
            "HTTP/1.1 404 Not Found\r\ncontent-type: application/json\r\nvary: a\r\nvary: b\r\n"
            "Content-Length: 12\r\n\r\n");
  // A length the caller gives wins, so a HEAD reply can announce a body it does not send.
  EXPECT_EQ(replyHead(200, {{"Content-Length", "99"}}, 0), "HTTP/1.1 200 OK\r\ncontent-length: 99\r\n\r\n");
}

}  // namespace
}  // namespace nc
