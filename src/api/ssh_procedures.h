// The procedures of the SSH server's unit: start, stop and status.
#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "src/api/context.h"

namespace nc {

// `systemctl start` then `enable` ssh, under the command lock.
asio::awaitable<JsonValue> sshdStart(Context& context, const JsonValue& body, std::string account);
// `systemctl stop` then `disable` ssh, under the command lock.
asio::awaitable<JsonValue> sshdStop(Context& context, const JsonValue& body, std::string account);
asio::awaitable<JsonValue> sshdStatus(Context& context, const JsonValue& body, std::string account);

}  // namespace nc
