#include "src/accounts/login.h"

#include <ctime>
#include <iostream>

#include "server/http_error.h"
#include "src/accounts/account_store.h"
#include "src/accounts/token_seal.h"

namespace nc {
namespace {

// UTC, to the second, as the start of each line about a login.
std::string wallClockText() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[sizeof "2000-01-01T00:00:00Z"];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The account name as typed, quoted and escaped, so it stays on its line
// whatever it holds.
std::string quoted(std::string_view account) { return toCompactJson(JsonValue(account)); }

[[noreturn]] void refuseThrottled(std::string_view peerAddress, std::string_view username, std::chrono::seconds wait) {
  std::cout << wallClockText() << " login refused: address " << peerAddress << ", account " << quoted(username)
            << ", retry after " << wait.count() << " s" << std::endl;
  HttpException refusal(429, ErrorCode::ExceedLimit);
  refusal.headers.set("retry-after", std::to_string(wait.count()));
  throw refusal;
}

void countFailure(AccessState& state, std::string_view peerAddress, std::string_view username, bool accountExists) {
  const auto now = state.now();
  if (auto lock = state.throttle.addressFailed(peerAddress, now))
    std::cout << wallClockText() << " login locked: address " << peerAddress << ", account " << quoted(username)
              << ", for " << lock->count() << " s" << std::endl;
  if (!accountExists) return;
  if (auto wait = state.throttle.accountFailed(username, now))
    std::cout << wallClockText() << " login locked: address " << peerAddress << ", account " << quoted(username)
              << " from every address, for " << wait->count() << " s" << std::endl;
}

}  // namespace

std::string logIn(Database& db, const Buffer& key, AccessState& state, std::string_view peerAddress,
                std::string_view username, std::string_view password) {
  if (auto wait = state.throttle.refusal(peerAddress, username, state.now()))
    refuseThrottled(peerAddress, username, *wait);
  bool matches = false;
  try {
    matches = checkAccountPassword(db, username, password);
  } catch (const UserNotFoundError&) {
    // Guessing names counts against the address; only real accounts are
    // counted by name, so made-up names cannot fill that table.
    countFailure(state, peerAddress, username, false);
    throw;
  }
  if (!matches) {
    countFailure(state, peerAddress, username, true);
    raiseHttpException(403, ErrorCode::InvalidPassword);
  }
  state.throttle.succeeded(peerAddress);
  return issueToken(key, state, username);
}

std::string issueToken(const Buffer& key, const AccessState& state, std::string_view username) {
  return encodeAuthToken(key, newTokenPayload(username, tokenClockSeconds(state.now()), state.passwordEpoch));
}

std::string checkToken(const Buffer& key, const AccessState& state, std::string_view token) {
  JsonValue payload;
  try {
    payload = decodeAuthToken(key, token);
  } catch (const InvalidTokenError&) {
    raiseHttpException(403, ErrorCode::InvalidAuthToken);
  } catch (const std::exception&) {
    raiseHttpException(403, ErrorCode::InsufficientAccessRight);
  }
  switch (judgeTokenPayload(payload, TokenRules{state.tokenLifetime, state.passwordEpoch},
                            tokenClockSeconds(state.now()))) {
    case TokenStanding::noUsername:
      raiseHttpException(403, ErrorCode::InsufficientAccessRight);
    case TokenStanding::revoked:
      raiseHttpException(403, ErrorCode::InvalidAuthToken);
    case TokenStanding::expired:
      raiseHttpException(403, ErrorCode::ExpiredAuthToken);
    case TokenStanding::current:
      break;
  }
  const JsonValue& username = *payload.asObject().find("username");
  return username.isString() ? username.asString() : toCompactJson(username);
}

std::string endEarlierTokens(const Buffer& key, AccessState& state, std::string_view token) {
  const std::string caller = checkToken(key, state, token);
  ++state.passwordEpoch;
  return issueToken(key, state, caller);
}

}  // namespace nc
