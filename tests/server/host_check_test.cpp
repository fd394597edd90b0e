#include "server/host_check.h"

#include <gtest/gtest.h>

namespace nc {
namespace {

const AllowedHosts allowed = newAllowedHosts("Gateway-7", " console.example.net, ,10.1.2.3.nip.io ,");

TEST(HostCheck, allowedNames) {
  EXPECT_EQ((std::vector<std::string>{"localhost", "gateway-7", "gateway-7.local", "console.example.net",
                                      "10.1.2.3.nip.io"}),
            allowed.names);
  EXPECT_EQ(std::vector<std::string>{"localhost"}, newAllowedHosts("", "").names);
  // Names are kept once, in lower case and without the trailing dot.
  EXPECT_EQ((std::vector<std::string>{"localhost", "localhost.local"}),
            newAllowedHosts("LOCALHOST.", ",localhost, Localhost.Local").names);
}

TEST(HostCheck, acceptedForms) {
  for (const char* host : {"127.0.0.1", "127.0.0.1:9992", "192.168.1.20:80", "0.0.0.0", "[::1]", "[::1]:9992",
                           "[fe80::1%25eth0]:1", "[2001:db8::7]", "localhost", "localhost:9992", "LocalHost.",
                           "gateway-7", "GATEWAY-7:8080", "gateway-7.local", "gateway-7.local.:1",
                           "console.example.net", "10.1.2.3.nip.io:9992", " localhost ", "localhost:"})
    EXPECT_TRUE(hostAllowed(allowed, host)) << host;
}

TEST(HostCheck, refusedForms) {
  for (const char* host : {"", " ", "evil.example", "evil.example:9992", "localhost.evil.example",
                           "gateway-7.evil", "sub.localhost", "localhost:99x", "localhost:9992:1", "::1",
                           "[::1", "[::1]x", "[::1]:x", "[localhost]", "127.1", "127.0.0.1.evil.example",
                           "1.2.3.4.nip.io", "localhost, evil.example", "@localhost", ":9992"})
    EXPECT_FALSE(hostAllowed(allowed, host)) << '"' << host << '"';
}

HttpRequest requestWith(int minor, HeaderValues hosts, std::string target = "/health") {
  HttpRequest request;
  request.protocol = {"HTTP/1." + std::to_string(minor), 1, minor};
  if (!hosts.empty()) request.headers.set("host", std::move(hosts));
  request.url = parseUri(target);
  return request;
}

TEST(HostCheck, requests) {
  EXPECT_TRUE(requestNamesThisService(allowed, requestWith(1, {"localhost:9992"})));
  EXPECT_FALSE(requestNamesThisService(allowed, requestWith(1, {"evil.example"})));
  // HTTP/1.1 requires Host; HTTP/1.0 did not have it.
  EXPECT_FALSE(requestNamesThisService(allowed, requestWith(1, {})));
  EXPECT_TRUE(requestNamesThisService(allowed, requestWith(0, {})));
  EXPECT_FALSE(requestNamesThisService(allowed, requestWith(0, {"evil.example"})));
  // Two Host lines could be read differently by a proxy in front: refused.
  EXPECT_FALSE(requestNamesThisService(allowed, requestWith(1, {"localhost", "localhost"})));
  // A target in absolute form overrides Host, so it must name this service too.
  EXPECT_TRUE(requestNamesThisService(allowed, requestWith(1, {"localhost"}, "http://[::1]:9992/health")));
  EXPECT_TRUE(requestNamesThisService(allowed, requestWith(1, {"localhost"}, "http://gateway-7/health")));
  EXPECT_FALSE(requestNamesThisService(allowed, requestWith(1, {"localhost"}, "http://evil.example/health")));
  EXPECT_FALSE(requestNamesThisService(allowed, requestWith(0, {}, "http://evil.example/health")));
}

}  // namespace
}  // namespace nc
