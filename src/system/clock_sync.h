// Whether the gateway's clock is synchronised, as systemd's timedated says
// (`timedatectl show`). A gateway with a wrong clock stamps every packet it
// forwards with a wrong time.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

#include <asio/awaitable.hpp>

#include "utils/json.h"

namespace nc {

// timedated starts on demand over D-Bus; an answer takes well under a second,
// and one that takes longer than this will not come.
inline constexpr std::chrono::milliseconds clockReadTimeout = std::chrono::seconds(5);
// `timedatectl show` prints under 300 bytes.
inline constexpr size_t maxClockOutput = 4096;

// {"synchronized", "ntp", "timeZone"} from the output of `timedatectl show`;
// each null when the output lacks it.
JsonObject clockJsonOf(std::string_view timedatectlShow);

// The same, read now. When timedatectl cannot be run or fails, each member is
// null and "message" holds its first line of error.
asio::awaitable<JsonValue> readClockSync();

}  // namespace nc
