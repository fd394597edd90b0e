// Turns a table of JSON procedures into one server handler: CORS preflight,
// body parsing, the procedure named by the body's "path" or the URL rest, the
// "pin" echo and the compact JSON reply.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "server/http_server.h"
#include "server/router.h"
#include "utils/json.h"

namespace nc {

// Takes the session and the parsed request object; completes with the reply value.
using Procedure = std::function<asio::awaitable<JsonValue>(std::shared_ptr<Session>, const JsonValue&)>;
using JsonApiRouter = Router<Procedure>;

// A table whose default raises 404 "Unknown path".
std::shared_ptr<JsonApiRouter> newJsonApiRouter();
Handler jsonApiHandler(std::shared_ptr<JsonApiRouter> jsonHandlers);
asio::awaitable<void> jsonApiHandlerCore(std::shared_ptr<Session> session, std::shared_ptr<JsonApiRouter> jsonHandlers);

// 400/23001 on a non-object, 400/21031 "Missing field KEY" when absent.
const JsonValue& httpJsonMustGet(const JsonValue& value, std::string_view key);
// As httpJsonMustGet, then 400/23001 "Field KEY is not a string".
const std::string& httpJsonMustGetString(const JsonValue& value, std::string_view key);

}  // namespace nc
