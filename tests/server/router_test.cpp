#include "server/router.h"

#include <gtest/gtest.h>

namespace nc {
namespace {

using Routed = std::pair<std::string, std::string>;

Routed routeOf(const std::shared_ptr<Router<std::string>>& router, std::string_view path) {
  const auto [value, rest] = route(router, path);
  return {value, rest};
}

}  // namespace

TEST(Router, normalizedSplitDropsEmptyPiecesOnly) {
  using Segments = std::vector<std::string_view>;
  EXPECT_EQ(normalizedSplit(""), Segments{});
  EXPECT_EQ(normalizedSplit("///"), Segments{});
  EXPECT_EQ(normalizedSplit("//rpc//v1/login/"), (Segments{"rpc", "v1", "login"}));
  EXPECT_EQ(normalizedSplit("/a/./../%2F?q=1"), (Segments{"a", ".", "..", "%2F?q=1"}));
}

TEST(Router, deepestMountedPrefixWins) {
  auto router = newRouter<std::string>("default");
  mount(router, "rpc", "rpc");
  mount(router, "rpc/v1", "v1");
  for (const char* path : {"/rpc/v1/login/password", "rpc/v1/login/password/", "//rpc//v1/login/password"}) {
    EXPECT_EQ(routeOf(router, path), Routed("v1", "login/password")) << path;
  }
  EXPECT_EQ(routeOf(router, "/rpc/v1"), Routed("v1", ""));
  EXPECT_EQ(routeOf(router, "/rpc/v1/x"), Routed("v1", "x"));
  EXPECT_EQ(routeOf(router, "/rpc/v2/x"), Routed("rpc", "v2/x"));
  EXPECT_EQ(routeOf(router, "/rpcx/v1"), Routed("default", "rpcx/v1"));
  EXPECT_EQ(routeOf(router, "/rp"), Routed("default", "rp"));
}

TEST(Router, walkStopsWhereTheTreeEnds) {
  auto router = newRouter<std::string>("default");
  mount(router, "a/b", "ab");
  mount(router, "x/y", "xy");
  mount(router, "z", "z");
  EXPECT_EQ(routeOf(router, "/a/c"), Routed("default", "a/c"));
  EXPECT_EQ(routeOf(router, "/a"), Routed("default", "a"));
  EXPECT_EQ(routeOf(router, "/a//b//c/"), Routed("ab", "c"));
  // "z" is a known segment, but not a child of "x".
  EXPECT_EQ(routeOf(router, "/x/z"), Routed("default", "x/z"));
  EXPECT_EQ(routeOf(router, "/b"), Routed("default", "b"));
  EXPECT_EQ(routeOf(router, "/z/a/b"), Routed("z", "a/b"));
}

TEST(Router, mountingReplacesValuesAndTheDefault) {
  auto router = newRouter<std::string>("default");
  EXPECT_EQ(routeOf(router, "/"), Routed("default", ""));
  EXPECT_EQ(routeOf(router, ""), Routed("default", ""));
  mount(router, "ui", "first");
  mount(router, "/ui/", "second");
  EXPECT_EQ(routeOf(router, "/ui/index.html"), Routed("second", "index.html"));
  mount(router, "//", "root");
  EXPECT_EQ(routeOf(router, "/other/x"), Routed("root", "other/x"));
  setDefault(router, "index");
  EXPECT_EQ(routeOf(router, ""), Routed("index", ""));
  EXPECT_EQ(router->segments.size(), 1u);
}

TEST(Router, functionValues) {
  using Handler = std::function<int(int)>;
  auto router = newRouter<Handler>([](int x) { return -x; });
  mount(router, "double", [](int x) { return 2 * x; });
  const auto [handler, rest] = route(router, "/double/more");
  EXPECT_EQ(handler(21), 42);
  EXPECT_EQ(rest, "more");
  EXPECT_EQ(route(router, "/triple").first(3), -3);
  EXPECT_DEATH(mount(router, "empty", Handler()), "mount: empty handler");
}

}  // namespace nc
