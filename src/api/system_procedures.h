// The procedure that tells the system's facts: the host, its release, uptime,
// load, memory, disk, network interfaces and clock, the service's version and
// the gateway's ID.
#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "src/api/context.h"

namespace nc {

asio::awaitable<JsonValue> systemInfo(Context& context, const JsonValue& body, std::string account);

}  // namespace nc
