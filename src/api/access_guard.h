// The access guard: a guarded procedure runs only for a call whose `auth`
// member holds a current token, and is handed the account that token names.
#pragma once

#include <memory>
#include <string>

#include <asio/awaitable.hpp>

#include "server/http_handler.h"
#include "src/api/context.h"

namespace nc {

// A procedure behind the guard: the body as sent, and the checked account.
using GuardedProcedure = asio::awaitable<JsonValue> (*)(Context& context, const JsonValue& body, std::string account);

// Opens the token once, then runs `procedure`. A missing or non-string `auth`
// answers 400; a token that is not current raises the token failures.
Procedure loginOnly(std::shared_ptr<Context> context, GuardedProcedure procedure);

}  // namespace nc
