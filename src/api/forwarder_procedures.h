// The procedures that show the units' state and change the forwarder
// configuration through the verified apply and its history.
#pragma once

#include <memory>

#include "server/http_handler.h"

namespace nc {

struct Context;

// The account named by the token in `auth`, which the access guard has opened
// already; empty when the token carries no name as a string.
std::string accountOf(const Context& context, const JsonValue& body);

asio::awaitable<JsonValue> forwarderStatus(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> sshdStatus(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> forwarderConfigPatch(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> forwarderConfigHistory(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> forwarderConfigVersion(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> forwarderConfigRestore(std::shared_ptr<Session> session, const JsonValue& body);

}  // namespace nc
