#include "src/api/journal_procedures.h"

#include <ctime>
#include <optional>

#include "server/http_error.h"
#include "src/api/procedure_output.h"
#include "src/forwarder/traffic_feed.h"
#include "src/units/journal.h"

namespace nc {
namespace {

constexpr int64_t defaultLogLines = 200;

// `input`, which these procedures may go without.
const JsonObject& optionalInput(const JsonValue& body) {
  static const JsonObject none;
  const JsonValue* input = body.isObject() ? body.asObject().find("input") : nullptr;
  if (input == nullptr || input->isNull()) return none;
  if (!input->isObject()) raiseHttpException(400, ErrorCode::InvalidFormat, "Field input is not an object");
  return input->asObject();
}

// A whole number from `least` to `most`, or `fallback` when absent.
int64_t integerIn(const JsonObject& input, std::string_view name, int64_t least, int64_t most, int64_t fallback) {
  const JsonValue* value = input.find(name);
  if (value == nullptr || value->isNull()) return fallback;
  if (!value->isInt() || value->asInt() < least || value->asInt() > most)
    raiseHttpException(400, ErrorCode::InvalidFormat,
                       "Field " + std::string(name) + " is not an integer from " + std::to_string(least) + " to " +
                           std::to_string(most));
  return value->asInt();
}

std::optional<int64_t> sinceOf(const JsonObject& input) {
  const JsonValue* since = input.find("since");
  if (since == nullptr || since->isNull()) return std::nullopt;
  if (!since->isInt()) raiseHttpException(400, ErrorCode::InvalidFormat, "Field since is not an integer");
  return since->asInt();
}

std::optional<std::string> cursorOf(const JsonObject& input) {
  const JsonValue* cursor = input.find("cursor");
  if (cursor == nullptr || cursor->isNull()) return std::nullopt;
  if (!cursor->isString() || cursor->asString().empty())
    raiseHttpException(400, ErrorCode::InvalidFormat, "Field cursor is not a journal cursor");
  return cursor->asString();
}

JsonValue lineJson(const JournalEntry& entry) {
  constexpr double microseconds = 1e6;
  return JsonValue(JsonObject{{"time", static_cast<double>(entry.timeUs) / microseconds},
                              {"priority", entry.priority ? JsonValue(*entry.priority) : JsonValue()},
                              {"text", entry.message}});
}

JsonValue logJson(const std::string& unit, const UnitLog& log, const std::optional<std::string>& cursor) {
  JsonArray lines;
  for (const JournalEntry& entry : log.entries) lines.push_back(lineJson(entry));
  const std::optional<std::string> last = log.entries.empty() ? cursor : log.entries.back().cursor;
  JsonObject json{{"unit", unit},
                  {"lines", std::move(lines)},
                  {"cursor", last ? JsonValue(*last) : JsonValue()},
                  {"more", log.more}};
  if (!log.failure.empty()) json.set("message", log.failure);
  return JsonValue(std::move(json));
}

}  // namespace

asio::awaitable<JsonValue> forwarderTraffic(Context& context, const JsonValue& body, std::string) {
  const JsonObject& input = optionalInput(body);
  const std::optional<int64_t> since = sinceOf(input);
  const auto most = static_cast<int64_t>(maxTrafficPoints);
  const auto points = static_cast<size_t>(integerIn(input, "points", 1, most, most));
  co_await context.traffic->catchUp();
  co_return output(
      trafficJson(context.traffic->window(), since, points, std::time(nullptr), context.traffic->readFailure()));
}

asio::awaitable<JsonValue> forwarderLog(Context& context, const JsonValue& body, std::string) {
  const JsonObject& input = optionalInput(body);
  const int64_t lines = integerIn(input, "lines", 1, maxLogLines, defaultLogLines);
  std::optional<std::string> cursor = cursorOf(input);
  const std::string& unit = context.forwarderUnitServiceName;
  UnitLog log;
  if (unit.empty())
    log.failure = unmanagedForwarderMessage;
  else
    log = co_await readUnitLog(unit, cursor, lines);
  co_return output(logJson(unit, log, cursor));
}

}  // namespace nc
