#include "src/api/entry_handlers.h"

#include <string>

namespace nc {
namespace {

#define NC_STRINGIFY2(x) #x
#define NC_STRINGIFY(x) NC_STRINGIFY2(x)

#if defined(__clang__)
constexpr const char* compilerName = "clang";
constexpr const char* compilerVersion =
    NC_STRINGIFY(__clang_major__) "." NC_STRINGIFY(__clang_minor__) "." NC_STRINGIFY(__clang_patchlevel__);
#elif defined(__GNUC__)
constexpr const char* compilerName = "gcc";
constexpr const char* compilerVersion =
    NC_STRINGIFY(__GNUC__) "." NC_STRINGIFY(__GNUC_MINOR__) "." NC_STRINGIFY(__GNUC_PATCHLEVEL__);
#else
constexpr const char* compilerName = "unknown";
constexpr const char* compilerVersion = "unknown";
#endif

}  // namespace

// The body never changes, so it is written once. Not a coroutine itself: it
// hands over respond's, which spares a frame on every health check; the
// session it names is held by the dispatch that awaits it.
asio::awaitable<void> healthCheck(std::shared_ptr<Session> session) {
  static const std::string body = toCompactJson(JsonValue(JsonObject{{compilerName, JsonValue(compilerVersion)}}));
  return respond(*session, 200, body, jsonFields());
}

asio::awaitable<void> rootRedirect(std::shared_ptr<Session> session) {
  static const HttpHeaders headers{{"location", "/ui"}};
  co_await respond(*session, 302, {}, headers);
}

}  // namespace nc
