#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "transport/http_types.h"

namespace nc {
namespace {

TEST(Uri, forms) {
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
  auto fields = [](const Uri& u) {
    return std::tuple(u.scheme, u.username, u.password, u.hostname, u.port, u.path, u.query, u.anchor, u.opaque,
                      u.isIpv6);
  };
  for (const auto& c : cases) EXPECT_EQ(fields(parseUri(c.text)), fields(c.expected)) << c.text;
}

}  // namespace
}  // namespace nc
