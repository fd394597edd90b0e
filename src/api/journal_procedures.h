// The procedures that read the forwarder unit's journal: its traffic, from
// the statistics reports it writes there, and its log.
#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "src/api/context.h"

namespace nc {

// `input.since` (the time of the newest interval the caller holds) and
// `input.points` (1 to 300, default 300), both optional; answers the verdict
// and the intervals (docs/api.md).
asio::awaitable<JsonValue> forwarderTraffic(Context& context, const JsonValue& body, std::string account);

// `input.lines` (1 to 500, default 200) and `input.cursor`, both optional;
// answers the last lines, or those after the cursor, and the cursor to follow.
asio::awaitable<JsonValue> forwarderLog(Context& context, const JsonValue& body, std::string account);

}  // namespace nc
