// Changing the forwarder configuration so that the forwarder is never left down
// on a new file without notice: the file as it stands goes into the history,
// the new file is written, the unit restarted and watched for a settle window;
// if it does not stay up, the previous file is put back and the unit restarted
// again.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <asio/awaitable.hpp>

#include "src/units/unit_status.h"
#include "utils/json.h"

namespace nc {

// How long a restarted forwarder must stay up before a change counts as held.
// lora_pkt_fwd reads its file, opens the concentrator and its sockets within
// its first second and ends at once on a setting it cannot use; systemd's
// default restart delay (100 ms) lets a crash loop show in the restart counter
// well inside five seconds, and an operator waits that long without doubt.
constexpr std::chrono::milliseconds defaultSettleWindow{5000};

// How often the unit is read during the window (one short systemctl call).
constexpr std::chrono::milliseconds settlePollInterval{250};

struct ForwarderTarget {
  std::string configPath;
  std::string unit;  // empty: nothing is restarted or watched
  std::string historyFolder;
  std::chrono::milliseconds settleWindow = defaultSettleWindow;
};

// Merges `patch` into the file and applies the result. Arguments are taken by
// value: the coroutine outlives its caller's temporaries.
asio::awaitable<void> applyForwarderPatch(ForwarderTarget target, JsonValue patch,
                                          std::string account);

// Applies the text of history version `id`. A version that is not valid JSON
// is refused, and nothing changes; an unknown one raises UnknownVersionError.
asio::awaitable<void> restoreForwarderVersion(ForwarderTarget target, int64_t id, std::string account);

// Decides from the readings taken during the settle window whether the unit
// stayed up: it must not be seen failed, its restart counter must not move,
// and the last reading must be active.
class SettleWatch {
 public:
  // Records one reading; returns why the change cannot hold once that is
  // certain, so the watch may stop early.
  std::optional<std::string> observe(const UnitStatus& status);
  // At the end of the window: why the change did not hold, or nothing.
  std::optional<std::string> verdict() const;

 private:
  std::optional<int64_t> firstRestarts_;
  std::optional<std::string> failure_;
  std::optional<UnitStatus> last_;
};

}  // namespace nc
