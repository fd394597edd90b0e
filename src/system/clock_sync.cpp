#include "src/system/clock_sync.h"

#include "src/units/child_process.h"
#include "utils/key_value_lines.h"

namespace nc {
namespace {

JsonValue yesNo(const KeyValues& values, std::string_view key) {
  const std::string value = valueOf(values, key);
  if (value == "yes") return JsonValue(true);
  if (value == "no") return JsonValue(false);
  return JsonValue();
}

}  // namespace

JsonObject clockJsonOf(std::string_view timedatectlShow) {
  const KeyValues values = keyValueLines(timedatectlShow);
  const std::string zone = valueOf(values, "Timezone");
  return JsonObject{{"synchronized", yesNo(values, "NTPSynchronized")},
                    {"ntp", yesNo(values, "NTP")},
                    {"timeZone", zone.empty() ? JsonValue() : JsonValue(zone)}};
}

asio::awaitable<JsonValue> readClockSync() {
  const CommandDeadline deadline{clockReadTimeout, std::chrono::seconds(1)};
  const CommandOutput output = co_await runCollecting("timedatectl show", deadline, maxClockOutput);
  if (output.end.exitCode == 0) co_return JsonValue(clockJsonOf(output.text));
  JsonObject unknown = clockJsonOf("");
  std::string message = output.end.timedOut ? "timedatectl did not answer in time" : firstLineOf(output.text);
  if (message.empty()) message = "timedatectl ended with status " + std::to_string(output.end.exitCode);
  unknown.set("message", std::move(message));
  co_return JsonValue(std::move(unknown));
}

}  // namespace nc
