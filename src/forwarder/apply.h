// Changing the forwarder configuration so that the forwarder is never left down
// on a new file without notice: the file as it stands goes into the history,
// the new file is written, the unit restarted and watched for a settle window;
// if it does not stay up, the previous file is put back and the unit restarted
// and watched again. The history notes how each change ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <asio/awaitable.hpp>

#include "utils/json.h"
#include "utils/logger.h"

namespace nc {

// How long a restarted forwarder must stay up before a change counts as held.
// lora_pkt_fwd reads its file, opens the concentrator and its sockets within
// its first second and ends at once on a setting it cannot use; systemd's
// default restart delay (100 ms) lets a crash loop show in the restart counter
// well inside five seconds, and an operator waits that long without doubt.
constexpr std::chrono::milliseconds defaultSettleWindow{5000};

// The longest settle window a command line may ask for. The operator's request
// and every other change wait out the window; past two minutes a browser or a
// proxy gives up on the answer, and a forwarder that has run that long has
// long read its file.
constexpr std::chrono::seconds maxSettleWindow{120};

// How often the unit is read during the window (one short systemctl call).
constexpr std::chrono::milliseconds settlePollInterval{250};

// A change that did not hold. The message says what happened and what the
// gateway runs now; it is also written to the service's log.
class ApplyFailedError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A kept version that is not valid JSON, which a restore refuses.
class UnrestorableVersionError : public std::runtime_error {
 public:
  explicit UnrestorableVersionError(int64_t id)
      : std::runtime_error("Version " + std::to_string(id) + " is not valid JSON and cannot be restored") {}
};

// A patch or restore whose result is not a JSON object: the forwarder reads
// its settings from an object and would not start on anything else.
class ConfigNotObjectError : public std::runtime_error {
 public:
  ConfigNotObjectError() : std::runtime_error("the forwarder configuration must be a JSON object") {}
};

struct ForwarderTarget {
  std::string configPath;
  std::string unit;  // empty: nothing is restarted or watched
  std::string historyFolder;
  std::chrono::milliseconds settleWindow = defaultSettleWindow;
};

// At start-up: removes what a process killed in the middle of a change left
// beside the forwarder file and in the history, and makes an existing history
// private. Each file removed or made private is one line on `log`.
void tidyForwarderFiles(const ForwarderTarget& target, Logger& log);

// Merges `patch` into the file and applies the result; raises ApplyFailedError
// when the change did not hold, and ConfigNotObjectError, changing nothing,
// when the result is not an object. Arguments are taken by value: the
// coroutine outlives its caller's temporaries.
asio::awaitable<void> applyForwarderPatch(ForwarderTarget target, JsonValue patch,
                                          std::string account);

// Applies the text of history version `id`. A version that is not valid JSON
// is refused with UnrestorableVersionError, one that is not an object with
// ConfigNotObjectError, and nothing changes; an unknown one raises
// UnknownVersionError.
asio::awaitable<void> restoreForwarderVersion(ForwarderTarget target, int64_t id, std::string account);

}  // namespace nc
