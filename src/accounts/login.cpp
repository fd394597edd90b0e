#include "src/accounts/login.h"

#include "src/accounts/account_store.h"
#include "src/accounts/tokens.h"
#include "utils/quoted_text.h"
#include "utils/utc_time.h"

namespace nc {
namespace {

// The start of each line about an address: when, what, from where.
std::string addressLineStart(std::string_view what, std::string_view peerAddress) {
  return utcTimeText() + " login " + std::string(what) + ": address " + std::string(peerAddress);
}

// The same, with the account. Its name is quoted and escaped, so it stays on
// its line whatever it holds.
std::string loginLineStart(std::string_view what, std::string_view peerAddress, std::string_view username) {
  return addressLineStart(what, peerAddress) + ", account " + quoteEscaped(username);
}

std::string counted(int count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

// Every throttle line goes through the budget, so that many addresses at once
// cannot flood the journal either.
void writeThrottleLine(Logger& log, AccessState& state, LogPriority priority, const std::string& text,
                       ThrottleClock::time_point now) {
  const LineBudget::Admission admission = state.throttleLines.admit(now);
  if (admission.heldBack > 0)
    log.warning(utcTimeText() + " login lines held back: " + std::to_string(admission.heldBack) +
                " past the limit of " + std::to_string(throttleLinesPerWindow) + " a minute");
  if (admission.write) log.write(priority, text);
}

[[noreturn]] void refuseThrottled(Logger& log, AccessState& state, std::string_view peerAddress,
                                  std::string_view username, std::chrono::seconds wait,
                                  ThrottleClock::time_point now) {
  if (const std::optional<RefusalNote> note = state.refusals.refused(peerAddress, now)) {
    const std::string start = note->first ? loginLineStart("refused", peerAddress, username)
                                          : addressLineStart("still refused", peerAddress) + ", " +
                                                counted(note->attempts, "attempt") + " in the last " +
                                                std::to_string(note->span.count()) + " s";
    writeThrottleLine(log, state, LogPriority::notice, start + ", retry after " + std::to_string(wait.count()) + " s",
                      now);
  }
  throw LoginThrottledError(wait);
}

void countFailure(Logger& log, AccessState& state, std::string_view peerAddress, std::string_view username,
                  bool accountExists, ThrottleClock::time_point now) {
  if (auto lock = state.throttle.addressFailed(peerAddress, now))
    writeThrottleLine(log, state, LogPriority::warning,
                      loginLineStart("locked", peerAddress, username) + ", for " + std::to_string(lock->count()) + " s",
                      now);
  if (!accountExists) return;
  if (auto wait = state.throttle.accountFailed(username, now))
    writeThrottleLine(log, state, LogPriority::warning,
                      loginLineStart("locked", peerAddress, username) + " from every address, for " +
                          std::to_string(wait->count()) + " s",
                      now);
}

}  // namespace

std::string logIn(Database& db, const Buffer& key, AccessState& state, std::string_view peerAddress,
                  std::string_view username, std::string_view password, Logger& log) {
  const ThrottleClock::time_point now = state.now();
  if (auto wait = state.throttle.refusal(peerAddress, username, now))
    refuseThrottled(log, state, peerAddress, username, *wait, now);
  if (auto refused = state.refusals.letThrough(peerAddress))
    writeThrottleLine(log, state, LogPriority::notice,
                      addressLineStart("released", peerAddress) + " after " + counted(*refused, "refused attempt"),
                      now);
  bool matches = false;
  try {
    matches = checkAccountPassword(db, username, password);
  } catch (const UserNotFoundError&) {
    // Guessing names counts against the address; only real accounts are
    // counted by name, so made-up names cannot fill that table.
    countFailure(log, state, peerAddress, username, false, now);
    throw;
  }
  if (!matches) {
    countFailure(log, state, peerAddress, username, true, now);
    throw WrongPasswordError();
  }
  state.throttle.succeeded(peerAddress);
  return issueToken(key, state, username);
}

}  // namespace nc
