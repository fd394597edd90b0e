#include "src/accounts/tokens.h"

#include "src/accounts/token_seal.h"

namespace nc {
namespace {

JsonValue openToken(const Buffer& key, std::string_view token) {
  try {
    return decodeAuthToken(key, token);
  } catch (const InvalidTokenError&) {
    throw;
  } catch (const std::exception&) {
    throw UnreadableTokenError();
  }
}

}  // namespace

std::string issueToken(const Buffer& key, const AccessState& state, std::string_view username) {
  return encodeAuthToken(key, newTokenPayload(username, tokenIssueSeconds(state.now()), state.passwordEpoch));
}

std::string checkToken(const Buffer& key, const AccessState& state, std::string_view token) {
  const JsonValue payload = openToken(key, token);
  switch (judgeTokenPayload(payload, TokenRules{state.tokenLifetime, state.passwordEpoch},
                            tokenClockSeconds(state.now()))) {
    case TokenStanding::noUsername:
      throw UnreadableTokenError();
    case TokenStanding::revoked:
      throw RevokedTokenError();
    case TokenStanding::expired:
      throw ExpiredTokenError();
    case TokenStanding::current:
      break;
  }
  const JsonValue& username = *payload.asObject().find("username");
  return username.isString() ? username.asString() : toCompactJson(username);
}

std::string renewAfterPasswordChange(const Buffer& key, AccessState& state, std::string_view account) {
  ++state.passwordEpoch;
  return issueToken(key, state, account);
}

}  // namespace nc
