// What a token says besides the user name: when it was issued and which
// password epoch it belongs to. The epoch moves on with every password change,
// so a change ends every token issued before it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "utils/json.h"

namespace nc {

// Issue times are read on the monotonic clock: a gateway without a battery
// clock starts in 1970 and jumps when it reaches a time server, which would
// end every token at once, or stretch them, on a wall clock. Tokens die with
// the process anyway, so they never need a clock that outlives it.
using TokenClock = std::chrono::steady_clock;
// Whole seconds on the token clock, rounded down: the time a token is judged at.
int64_t tokenClockSeconds(TokenClock::time_point at = TokenClock::now());
// The issue time a token carries, rounded up: judged in whole seconds, a token
// then lives at least its lifetime, and less than a second more.
int64_t tokenIssueSeconds(TokenClock::time_point at);

// Tokens live forever with this lifetime, as they did before lifetimes existed.
inline constexpr int64_t unlimitedTokenLifetime = 0;

struct TokenRules {
  int64_t lifetimeSeconds = unlimitedTokenLifetime;
  uint64_t passwordEpoch = 0;
};

// {"username":..., "issuedAt": seconds on the token clock, "passwordEpoch": n}
JsonValue newTokenPayload(std::string_view username, int64_t issuedAt, uint64_t passwordEpoch);

enum class TokenStanding {
  current,
  noUsername,  // opens, but names nobody
  revoked,     // from an earlier password epoch, or without the claims to tell
  expired,     // older than the lifetime
};

// A token is expired from the moment its age reaches the lifetime.
TokenStanding judgeTokenPayload(const JsonValue& payload, const TokenRules& rules, int64_t nowSeconds);

}  // namespace nc
