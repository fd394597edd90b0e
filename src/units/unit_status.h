// What systemd says about a unit: its state, since when, whether it starts at
// boot and how often systemd restarted it by itself. Read with
// `systemctl show`, which changes nothing, so no command lock is taken.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "src/units/systemctl.h"
#include "utils/json.h"

namespace nc {

// The state given when systemd cannot tell (systemctl missing or failing, a
// unit it does not know).
constexpr std::string_view unknownUnitState = "unknown";

struct UnitStatus {
  std::string state;     // ActiveState: active, inactive, failed, activating, ...; or "unknown"
  std::string subState;  // SubState: running, dead, exited, auto-restart, ...
  std::optional<std::string> since;  // when the state was entered, ISO-8601 UTC
  std::string enabled;               // UnitFileState: enabled, disabled, static, ...
  std::optional<int64_t> restarts;   // NRestarts: automatic restarts since the last manual start
  std::string message;               // why the state is unknown

  bool known() const { return state != unknownUnitState; }
  bool active() const { return state == "active"; }
};

// Reads the Key=Value lines of `systemctl show`, in any order. A unit that
// systemd does not know is "unknown" with systemd's own wording.
UnitStatus parseUnitProperties(std::string_view text);

// The status from the whole result of the command: a failed command is
// "unknown" with its first line of output, which says why.
UnitStatus unitStatusOf(const CommandResult& result);

// "Tue 2026-12-08 20:11:18 UTC" (systemctl --timestamp=utc) as
// "2026-12-08T20:11:18Z"; nothing for an empty or unreadable time.
std::optional<std::string> isoTimeOfSystemdTimestamp(std::string_view text);

asio::awaitable<UnitStatus> readUnitStatus(std::string unit);

// {"unit", "state", "subState", "since", "enabled"} and, for an unknown state,
// "message".
JsonValue unitStatusJson(const std::string& unit, const UnitStatus& status);

// The answer for a unit the service was told not to manage (an empty name).
JsonValue unmanagedUnitJson();

// The unit's status as JSON, read now; the unmanaged answer for an empty name.
asio::awaitable<JsonValue> unitStatusReport(std::string unit);

}  // namespace nc
