#include "src/units/unit_status.h"

#include <charconv>

#include "utils/key_value_lines.h"

namespace nc {
namespace {

// What the status needs, and nothing more: systemctl would otherwise print
// some two hundred properties. Id names the unit as systemd spells it; times
// come in UTC, whatever the gateway's zone.
constexpr const char* statusOptions =
    "--timestamp=utc --property=Id,LoadState,ActiveState,SubState,StateChangeTimestamp,UnitFileState,NRestarts";

std::optional<int64_t> integerOf(std::string_view text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

UnitStatus unknownStatus(std::string message) {
  UnitStatus status;
  status.state = unknownUnitState;
  status.message = std::move(message);
  return status;
}

bool allDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

UnitStatus parseUnitProperties(std::string_view text) {
  const KeyValues properties = keyValueLines(text);
  std::string loadState = valueOf(properties, "LoadState");
  if (loadState == "not-found") return unknownStatus("Unit " + valueOf(properties, "Id") + " could not be found.");
  UnitStatus status;
  status.state = valueOf(properties, "ActiveState");
  if (status.state.empty()) return unknownStatus("systemctl did not give the unit's state");
  status.subState = valueOf(properties, "SubState");
  status.since = isoTimeOfSystemdTimestamp(valueOf(properties, "StateChangeTimestamp"));
  status.enabled = valueOf(properties, "UnitFileState");
  status.restarts = integerOf(valueOf(properties, "NRestarts"));
  return status;
}

UnitStatus unitStatusOf(const CommandResult& result) {
  if (result.exitCode == 0) return parseUnitProperties(result.output);
  std::string message = firstLineOf(result.output);
  if (message.empty()) message = "systemctl ended with status " + std::to_string(result.exitCode);
  return unknownStatus(std::move(message));
}

std::optional<std::string> isoTimeOfSystemdTimestamp(std::string_view text) {
  // "Www YYYY-MM-DD HH:MM:SS UTC"; the weekday is optional.
  auto space = text.find(' ');
  if (space == 3) text.remove_prefix(4);
  constexpr std::string_view zone = " UTC";
  if (text.size() != 19 + zone.size() || text.substr(19) != zone) return std::nullopt;
  std::string_view date = text.substr(0, 10), time = text.substr(11, 8);
  bool dateShape = allDigits(date.substr(0, 4)) && date[4] == '-' && allDigits(date.substr(5, 2)) && date[7] == '-' &&
                   allDigits(date.substr(8, 2));
  bool timeShape = allDigits(time.substr(0, 2)) && time[2] == ':' && allDigits(time.substr(3, 2)) && time[5] == ':' &&
                   allDigits(time.substr(6, 2));
  if (text[10] != ' ' || !dateShape || !timeShape) return std::nullopt;
  return std::string(date) + "T" + std::string(time) + "Z";
}

asio::awaitable<UnitStatus> readUnitStatus(std::string unit) {
  co_return unitStatusOf(co_await systemctlShow(std::move(unit), statusOptions));
}

JsonValue unitStatusJson(const std::string& unit, const UnitStatus& status) {
  auto orNull = [&](const std::string& text) { return status.known() ? JsonValue(text) : JsonValue(); };
  JsonObject json{{"unit", unit},
                  {"state", status.state},
                  {"subState", orNull(status.subState)},
                  {"since", status.since ? JsonValue(*status.since) : JsonValue()},
                  {"enabled", orNull(status.enabled)}};
  if (!status.known()) json.set("message", status.message);
  return JsonValue(std::move(json));
}

asio::awaitable<JsonValue> unitStatusReport(std::string unit) {
  if (unit.empty()) co_return unmanagedUnitJson();
  const UnitStatus status = co_await readUnitStatus(unit);
  co_return unitStatusJson(unit, status);
}

JsonValue unmanagedUnitJson() {
  return JsonValue(JsonObject{
      {"unit", ""}, {"state", "unmanaged"}, {"subState", nullptr}, {"since", nullptr}, {"enabled", nullptr}});
}

}  // namespace nc
