#include "src/forwarder/config_file.h"

#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "src/forwarder/atomic_file.h"

namespace nc {
namespace {

// Lets other requests run between reading and parsing a file.
asio::awaitable<void> yieldToOthers() { co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable); }

}  // namespace

JsonValue merge(const JsonValue& base, const JsonValue& patch) {
  if (!base.isObject() || !patch.isObject()) return patch;
  const JsonObject& baseObject = base.asObject();
  const JsonObject& patchObject = patch.asObject();
  JsonObject result;
  for (const auto& [key, value] : baseObject)
    if (!patchObject.contains(key)) result.set(key, value);
  for (const auto& [key, value] : patchObject) {
    const JsonValue* baseValue = baseObject.find(key);
    result.set(key, baseValue ? merge(*baseValue, value) : value);
  }
  return JsonValue(std::move(result));
}

asio::awaitable<ForwarderFileText> readForwarderText(std::string path) {
  ForwarderFileText file{readWholeFile(path, maxForwarderFileBytes), std::nullopt};
  co_await yieldToOthers();
  try {
    parseJson(file.text);
  } catch (const JsonParseError& problem) {
    file.problem = problem;
  }
  co_return file;
}

asio::awaitable<JsonValue> readForwarderConfig(std::string path) {
  std::string text = readWholeFile(path);
  co_await yieldToOthers();
  co_return parseJson(text);
}

}  // namespace nc
