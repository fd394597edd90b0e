// The procedures of the forwarder: its configuration file read, changed
// through the verified apply, its kept versions, and its unit's state.
#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "src/api/context.h"

namespace nc {

asio::awaitable<JsonValue> forwarderConfigGet(Context& context, const JsonValue& body, std::string account);
// The file's text as it stands, valid or not, with the parser's complaint when it is not.
asio::awaitable<JsonValue> forwarderConfigRaw(Context& context, const JsonValue& body, std::string account);
asio::awaitable<JsonValue> forwarderConfigPatch(Context& context, const JsonValue& body, std::string account);
asio::awaitable<JsonValue> forwarderConfigHistory(Context& context, const JsonValue& body, std::string account);
asio::awaitable<JsonValue> forwarderConfigVersion(Context& context, const JsonValue& body, std::string account);
asio::awaitable<JsonValue> forwarderConfigRestore(Context& context, const JsonValue& body, std::string account);
asio::awaitable<JsonValue> forwarderStatus(Context& context, const JsonValue& body, std::string account);

}  // namespace nc
