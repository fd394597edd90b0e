#include "src/accounts/login.h"


#include "src/accounts/account_store.h"
#include "src/accounts/tokens.h"
#include "utils/quoted_text.h"
#include "utils/utc_time.h"

namespace nc {
namespace {

// The start of each line about a login: when, from where, for whom. The
// account name is quoted and escaped, so it stays on its line whatever it holds.
std::string loginLineStart(std::string_view what, std::string_view peerAddress, std::string_view username) {
  return utcTimeText() + " login " + std::string(what) + ": address " + std::string(peerAddress) + ", account " +
         quoteEscaped(username);
}

[[noreturn]] void refuseThrottled(Logger& log, std::string_view peerAddress, std::string_view username,
                                  std::chrono::seconds wait) {
  log.notice(loginLineStart("refused", peerAddress, username) + ", retry after " + std::to_string(wait.count()) +
             " s");
  throw LoginThrottledError(wait);
}

void countFailure(Logger& log, AccessState& state, std::string_view peerAddress, std::string_view username,
                  bool accountExists) {
  const auto now = state.now();
  if (auto lock = state.throttle.addressFailed(peerAddress, now))
    log.warning(loginLineStart("locked", peerAddress, username) + ", for " + std::to_string(lock->count()) + " s");
  if (!accountExists) return;
  if (auto wait = state.throttle.accountFailed(username, now))
    log.warning(loginLineStart("locked", peerAddress, username) + " from every address, for " +
                std::to_string(wait->count()) + " s");
}

}  // namespace

std::string logIn(Database& db, const Buffer& key, AccessState& state, std::string_view peerAddress,
                  std::string_view username, std::string_view password, Logger& log) {
  if (auto wait = state.throttle.refusal(peerAddress, username, state.now()))
    refuseThrottled(log, peerAddress, username, *wait);
  bool matches = false;
  try {
    matches = checkAccountPassword(db, username, password);
  } catch (const UserNotFoundError&) {
    // Guessing names counts against the address; only real accounts are
    // counted by name, so made-up names cannot fill that table.
    countFailure(log, state, peerAddress, username, false);
    throw;
  }
  if (!matches) {
    countFailure(log, state, peerAddress, username, true);
    throw WrongPasswordError();
  }
  state.throttle.succeeded(peerAddress);
  return issueToken(key, state, username);
}

}  // namespace nc
