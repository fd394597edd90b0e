// Who gets in: the login with its throttle;
// the token checks of the access guard; and the fresh token a password change
// hands out while it ends all earlier ones.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "src/accounts/database.h"
#include "src/accounts/login_throttle.h"
#include "src/accounts/token_claims.h"
#include "utils/buffer.h"
#include "utils/json.h"

namespace nc {

static_assert(std::is_same_v<ThrottleClock, TokenClock>, "one clock serves the throttle and the tokens");

// A day: an operator logs in about once a working day, and a stolen token
// stops working by the next one.
inline constexpr int64_t defaultTokenLifetime = 86400;

struct AccessState {
  LoginThrottle throttle;
  int64_t tokenLifetime = defaultTokenLifetime;  // seconds; unlimitedTokenLifetime keeps tokens for good
  uint64_t passwordEpoch = 0;                    // moves on with every password change
  std::function<TokenClock::time_point()> now = TokenClock::now;  // tests move time by hand
};

// Checks the password of `username` for a login from `peerAddress` and
// returns a fresh token. A throttled login is refused with 429 and a
// Retry-After header before its password is looked at; a wrong password is
// refused with 403 "Invalid password", an unknown name with UserNotFoundError.
std::string logIn(Database& db, const Buffer& key, AccessState& state, std::string_view peerAddress,
                std::string_view username, std::string_view password);

// Opens a token and checks its claims; returns the user name it carries.
// Refusals: 403 with "Invalid auth token" (does not open, or from before the
// last password change), "Expired auth token", or "Insufficient access right".
std::string checkToken(const Buffer& key, const AccessState& state, std::string_view token);

// A token for `username` issued now, under the current password epoch.
std::string issueToken(const Buffer& key, const AccessState& state, std::string_view username);

// After a password change: every token issued before now is refused; returns
// the fresh one for the caller, whose own token `token` was just checked.
std::string endEarlierTokens(const Buffer& key, AccessState& state, std::string_view token);

}  // namespace nc
