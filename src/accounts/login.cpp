#include "src/accounts/login.h"

#include "src/accounts/account_store.h"
#include "src/accounts/device_tokens.h"
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

void writeLockLine(Logger& log, AccessState& state, const LoginAttempt& attempt, std::string_view scope,
                   std::chrono::seconds lock, ThrottleClock::time_point now) {
  writeThrottleLine(log, state, LogPriority::warning,
                    loginLineStart("locked", attempt.peerAddress, attempt.username) + std::string(scope) + ", for " +
                        std::to_string(lock.count()) + " s",
                    now);
}

// `device` is the hash of the known device token presented; empty for none.
void countFailure(Logger& log, AccessState& state, const LoginAttempt& attempt, bool accountExists,
                  std::string_view device, ThrottleClock::time_point now) {
  const std::string_view peerAddress = attempt.peerAddress;
  const std::string_view username = attempt.username;
  if (auto lock = state.throttle.addressFailed(peerAddress, now)) writeLockLine(log, state, attempt, "", *lock, now);
  if (!device.empty())
    if (auto lock = state.throttle.deviceFailed(device, now))
      writeLockLine(log, state, attempt, " on its device token", *lock, now);
  if (!accountExists) return;
  if (auto wait = state.throttle.accountFailed(username, now))
    writeLockLine(log, state, attempt, " from every address", *wait, now);
}

std::string nextDeviceToken(Database& db, std::string_view username, const std::optional<KnownDevice>& device,
                            DeviceClock::time_point now) {
  return device ? renewDeviceToken(db, username, *device, now) : issueDeviceToken(db, username, now);
}

}  // namespace

LoginGrant logIn(Database& db, const Buffer& key, AccessState& state, const LoginAttempt& attempt, Logger& log) {
  const auto [peerAddress, username, password, deviceToken] = attempt;
  const ThrottleClock::time_point now = state.now();
  const std::optional<KnownDevice> device = findDeviceToken(db, deviceToken, username, state.wallNow());
  const std::string_view deviceKey = device ? std::string_view(device->tokenHash) : std::string_view();
  if (auto wait = state.throttle.refusal(peerAddress, username, now, deviceKey))
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
    countFailure(log, state, attempt, false, deviceKey, now);
    throw;
  }
  if (!matches) {
    countFailure(log, state, attempt, true, deviceKey, now);
    throw WrongPasswordError();
  }
  state.throttle.succeeded(peerAddress, deviceKey);
  return {issueToken(key, state, username), nextDeviceToken(db, username, device, state.wallNow())};
}

}  // namespace nc
