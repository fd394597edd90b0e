// The procedures of accounts: the login and the admin password update.
#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "server/http_session.h"
#include "src/api/context.h"

namespace nc {

// Open to everyone: `username`, `password` and an optional `deviceToken`;
// answers a token, the browser's next device token, and "factoryPassword":
// true while admin still has its first-run password.
asio::awaitable<JsonValue> loginPassword(Context& context, const Session& session, const JsonValue& body);

// Guarded: `input.currentPassword` and `input.newPassword` of the admin
// account; answers a fresh token and device token for the caller, since the
// change ends every earlier one.
asio::awaitable<JsonValue> passwordUpdate(Context& context, const JsonValue& body, std::string account);

}  // namespace nc
