#include "src/accounts/token_claims.h"

namespace nc {

int64_t tokenClockSeconds(TokenClock::time_point at) {
  return std::chrono::floor<std::chrono::seconds>(at.time_since_epoch()).count();
}

int64_t tokenIssueSeconds(TokenClock::time_point at) {
  return std::chrono::ceil<std::chrono::seconds>(at.time_since_epoch()).count();
}

JsonValue newTokenPayload(std::string_view username, int64_t issuedAt, uint64_t passwordEpoch) {
  return JsonValue(JsonObject{{"username", JsonValue(std::string(username))},
                              {"issuedAt", JsonValue(issuedAt)},
                              {"passwordEpoch", JsonValue(static_cast<int64_t>(passwordEpoch))}});
}

TokenStanding judgeTokenPayload(const JsonValue& payload, const TokenRules& rules, int64_t nowSeconds) {
  if (!payload.isObject() || !payload.asObject().contains("username")) return TokenStanding::noUsername;
  const JsonValue* issuedAt = payload.asObject().find("issuedAt");
  const JsonValue* epoch = payload.asObject().find("passwordEpoch");
  if (issuedAt == nullptr || !issuedAt->isInt() || epoch == nullptr || !epoch->isInt()) return TokenStanding::revoked;
  if (epoch->asInt() != static_cast<int64_t>(rules.passwordEpoch)) return TokenStanding::revoked;
  if (rules.lifetimeSeconds != unlimitedTokenLifetime && issuedAt->asInt() <= nowSeconds - rules.lifetimeSeconds)
    return TokenStanding::expired;
  return TokenStanding::current;
}

}  // namespace nc
