// Longest-prefix path table: finds the value of the deepest mounted prefix of
// a slash-separated path and the rest of the path after it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nc {

// The path's segments: the text split at every "/", empty pieces dropped.
// Nothing is decoded or resolved ("%2F", "." and ".." are plain segments).
// The views point into `path`.
std::vector<std::string_view> normalizedSplit(std::string_view path);

// Takes the next segment off the front of `path`; empty when none is left.
std::string_view takeSegment(std::string_view& path);

// The segments of `path` joined with single slashes.
std::string joinSegments(std::string_view path);

template <class Value>
struct RouteNode {
  std::optional<Value> handler;  // absent on intermediate nodes
  // In creation order, at most one per segment id. A node has few children,
  // so a linear scan beats hashing.
  std::vector<std::pair<int64_t, std::shared_ptr<RouteNode>>> children;

  RouteNode* findChild(int64_t id) const {
    for (const auto& [childId, child] : children) {
      if (childId == id) return child.get();
    }
    return nullptr;
  }

  RouteNode& appendChild(int64_t id) { return *children.emplace_back(id, std::make_shared<RouteNode>()).second; }
};

template <class Value>
std::shared_ptr<RouteNode<Value>> newNode() {
  return std::make_shared<RouteNode<Value>>();
}

struct SegmentHash {
  using is_transparent = void;
  size_t operator()(std::string_view segment) const { return std::hash<std::string_view>{}(segment); }
};

template <class Value>
struct Router {
  // Segment texts are compared once, here; the tree is keyed by their ids,
  // given out as 0, 1, 2, ... in the order texts are first mounted.
  std::unordered_map<std::string, int64_t, SegmentHash, std::equal_to<>> segments;
  std::shared_ptr<RouteNode<Value>> root;  // always holds a value, the default
};

template <class Value>
std::shared_ptr<Router<Value>> newRouter(Value defaultValue) {
  auto router = std::make_shared<Router<Value>>();
  router->root = newNode<Value>();
  router->root->handler = std::move(defaultValue);
  return router;
}

template <class T>
inline constexpr bool isStdFunction = false;
template <class Result, class... Args>
inline constexpr bool isStdFunction<std::function<Result(Args...)>> = true;

// Mounting the empty path (or only slashes) replaces the default. Mounting
// the same path again replaces its value.
template <class Value>
void mount(const std::shared_ptr<Router<Value>>& router, std::string_view path, std::type_identity_t<Value> value) {
  // Checked in every build: an empty handler would only fail once a request
  // reaches it, far from the start-up code that mounted it.
  if constexpr (isStdFunction<Value>) {
    if (!value) {
      std::fputs("mount: empty handler for a path\n", stderr);
      std::abort();
    }
  }
  RouteNode<Value>* node = router->root.get();
  for (std::string_view segment : normalizedSplit(path)) {
    const int64_t id = router->segments.try_emplace(std::string(segment), int64_t(router->segments.size())).first->second;
    RouteNode<Value>* child = node->findChild(id);
    node = child != nullptr ? child : &node->appendChild(id);
  }
  node->handler = std::move(value);
}

// Named setDefault because `default` is a C++ keyword.
template <class Value>
void setDefault(const std::shared_ptr<Router<Value>>& router, std::type_identity_t<Value> value) {
  mount(router, "", std::move(value));
}

// The value of the deepest mounted node along the path (the default when
// there is none) and the path's segments below that node. The value is the
// one stored in the router, which outlives every request.
template <class Value>
std::pair<const Value&, std::string> route(const std::shared_ptr<Router<Value>>& router, std::string_view path) {
  const RouteNode<Value>* node = router->root.get();
  const Value* best = &*node->handler;
  std::string_view rest = path;
  std::string_view unwalked = path;
  while (true) {
    const std::string_view segment = takeSegment(unwalked);
    if (segment.empty()) break;
    const auto id = router->segments.find(segment);
    if (id == router->segments.end()) break;
    node = node->findChild(id->second);
    if (node == nullptr) break;
    if (node->handler) {
      best = &*node->handler;
      rest = unwalked;
    }
  }
  return {*best, joinSegments(rest)};
}

}  // namespace nc
