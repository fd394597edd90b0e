// What the service remembers about access while it runs: the login throttle
// and what it has logged, how long tokens live, and the password epoch that
// ends older tokens.
#pragma once

#include <cstdint>
#include <functional>
#include <type_traits>

#include "src/accounts/device_tokens.h"
#include "src/accounts/login_throttle.h"
#include "src/accounts/throttle_lines.h"
#include "src/accounts/token_claims.h"

namespace nc {

static_assert(std::is_same_v<ThrottleClock, TokenClock>, "one clock serves the throttle and the tokens");

// A day: an operator logs in about once a working day, and a stolen token
// stops working by the next one.
inline constexpr int64_t defaultTokenLifetime = 86400;

struct AccessState {
  LoginThrottle throttle;
  RefusalRuns refusals;      // what the log has said about each refused address
  LineBudget throttleLines;  // the throttle's lines a minute, from all addresses
  int64_t tokenLifetime = defaultTokenLifetime;  // seconds; unlimitedTokenLifetime keeps tokens for good
  uint64_t passwordEpoch = 0;                    // moves on with every password change
  std::function<TokenClock::time_point()> now = TokenClock::now;  // tests move time by hand
  std::function<DeviceClock::time_point()> wallNow = DeviceClock::now;  // device tokens' times, likewise
};

}  // namespace nc
