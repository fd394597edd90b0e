#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/http_types.h"

namespace nc {
namespace {

TEST(uri, forms) {
  struct Case {
    std::string text;
    Uri expected;
  };
  auto uri = [](std::string scheme, std::string username, std::string password, std::string hostname,
                std::string port, std::string path, std::string query, std::string anchor, bool opaque = false,
                bool isIpv6 = false) {
    return Uri{scheme, username, password, hostname, port, path, query, anchor, opaque, isIpv6};
  };
  const std::vector<Case> cases{
      {"/p?q#f", uri("", "", "", "", "", "/p", "q", "f")},
      {"/ui", uri("", "", "", "", "", "/ui", "", "")},
      {"/a%20b?x=%41&y#z?w", uri("", "", "", "", "", "/a%20b", "x=%41&y", "z?w")},
      {"/p#f?notquery", uri("", "", "", "", "", "/p", "", "f?notquery")},
      {"/p:colon", uri("", "", "", "", "", "/p:colon", "", "")},
      {"", uri("", "", "", "", "", "", "", "")},
      {"*", uri("", "", "", "", "", "*", "", "")},
      {"http://h:1/p", uri("http", "", "", "h", "1", "/p", "", "")},
      {"http://h", uri("http", "", "", "h", "", "", "", "")},
      {"https://u:pw@h.example:8443/a/b?c=d#e", uri("https", "u", "pw", "h.example", "8443", "/a/b", "c=d", "e")},
      {"http://[::1]:9992/rpc", uri("http", "", "", "::1", "9992", "/rpc", "", "", false, true)},
      {"mailto:someone@example.org", uri("mailto", "", "", "", "", "someone@example.org", "", "", true)},
      {"//h:2/p", uri("", "", "", "h", "2", "/p", "", "")},
  };
  for (const auto& c : cases) {
    Uri got = parseUri(c.text);
    const Uri& want = c.expected;
    EXPECT_EQ(got.scheme, want.scheme) << c.text;
    EXPECT_EQ(got.username, want.username) << c.text;
    EXPECT_EQ(got.password, want.password) << c.text;
    EXPECT_EQ(got.hostname, want.hostname) << c.text;
    EXPECT_EQ(got.port, want.port) << c.text;
    EXPECT_EQ(got.path, want.path) << c.text;
    EXPECT_EQ(got.query, want.query) << c.text;
    EXPECT_EQ(got.anchor, want.anchor) << c.text;
    EXPECT_EQ(got.opaque, want.opaque) << c.text;
    EXPECT_EQ(got.isIpv6, want.isIpv6) << c.text;
  }
}

}  // namespace
}  // namespace nc
