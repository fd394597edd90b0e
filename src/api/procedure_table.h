// The service's remote procedures: login, the access guard, the password
// update, the forwarder configuration and the SSH switch.
#pragma once

#include <memory>

#include "server/http_handler.h"
#include "server/http_server.h"

namespace nc {

// Builds the procedure table and mounts it under "rpc" and then "rpc/v1".
void setupJsonApiRoute(HttpServer& server);

// The table itself, in registration order.
std::shared_ptr<JsonApiRouter> newProcedureTable();

// Runs the access guard, then `procedure` with the same session and body.
Procedure loginOnly(Procedure procedure);

asio::awaitable<JsonValue> loginPassword(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> passwordUpdate(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> forwarderConfigGet(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> sshdStart(std::shared_ptr<Session> session, const JsonValue& body);
asio::awaitable<JsonValue> sshdStop(std::shared_ptr<Session> session, const JsonValue& body);

}  // namespace nc
