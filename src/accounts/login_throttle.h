// Failed logins, counted per peer address, per account and per device token,
// and the rule that says when a login is refused without its password being
// checked. A login that presents a known device token is not held to its
// account's window, which strangers from any number of addresses can use up;
// its token is locked like an address instead. The caller passes the time in,
// so the rules run the same under test as in service.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string_view>

#include "utils/recent_table.h"

namespace nc {

using ThrottleClock = std::chrono::steady_clock;

// Consecutive failures one address, or one device token, may have before it is
// locked out: room for an operator's typos, nowhere near enough for guessing.
inline constexpr int failuresBeforeLock = 5;
// The lock after the last allowed failure; each further failure doubles it,
// so a guesser's rate falls off exponentially while a typist waits a second.
inline constexpr std::chrono::seconds firstLock{1};
// The doubling stops here: longer would only lock out an operator who mistyped
// a dozen times, and an attacker gains little from one guess per 15 minutes.
inline constexpr std::chrono::seconds longestLock{15 * 60};
// Failures against one account from all addresses together within one window.
// An attacker who spreads guesses over many addresses gets at most this many
// a minute, and the operator is kept out for at most a minute at a time.
inline constexpr int accountFailuresPerWindow = 30;
inline constexpr std::chrono::seconds accountWindow{60};
// Addresses remembered at once (about 150 bytes each). With more, the one
// touched longest ago is forgotten, so many addresses cannot grow the table.
inline constexpr size_t maxTrackedAddresses = 4096;
// Accounts remembered at once; only existing accounts are counted, so this
// bound is reached only by a database with many accounts.
inline constexpr size_t maxTrackedAccounts = 256;
// Device tokens remembered at once; only tokens the database knows are
// counted, at most 20 per account, so this bound is as far off as the last.
inline constexpr size_t maxTrackedDevices = 256;

class LoginThrottle {
 public:
  explicit LoginThrottle(size_t maxAddresses = maxTrackedAddresses, size_t maxAccounts = maxTrackedAccounts);

  // How long the caller must wait before this login may be tried, or nullopt
  // when it may be tried now. `device` names the known device token the login
  // presents; empty for none.
  std::optional<std::chrono::seconds> refusal(std::string_view address, std::string_view account,
                                              ThrottleClock::time_point now, std::string_view device = {});

  // Counts a failure from `address`; returns the lock it starts, if any.
  std::optional<std::chrono::seconds> addressFailed(std::string_view address, ThrottleClock::time_point now);
  // The same for a known device token.
  std::optional<std::chrono::seconds> deviceFailed(std::string_view device, ThrottleClock::time_point now);
  // Counts a failure against an existing account; returns the wait it starts
  // when it uses up the account's window.
  std::optional<std::chrono::seconds> accountFailed(std::string_view account, ThrottleClock::time_point now);
  // A login that succeeded: the address, and the device token it presented,
  // start afresh.
  void succeeded(std::string_view address, std::string_view device = {});

  size_t trackedAddresses() const { return addresses_.size(); }

 private:
  struct LockRecord {
    int failures = 0;
    ThrottleClock::time_point lockedUntil{};
  };
  using LockTable = RecentTable<LockRecord>;
  struct AccountRecord {
    int failures = 0;
    ThrottleClock::time_point windowStart{};
  };

  static std::optional<std::chrono::seconds> lockedFor(LockTable& table, std::string_view key,
                                                       ThrottleClock::time_point now);
  static std::optional<std::chrono::seconds> failed(LockTable& table, std::string_view key,
                                                    ThrottleClock::time_point now);

  LockTable addresses_;
  RecentTable<AccountRecord> accounts_;
  LockTable devices_;
};

// The lock after `failures` consecutive failures: none below the threshold,
// then doubling from firstLock up to longestLock.
std::optional<std::chrono::seconds> lockAfter(int failures);

}  // namespace nc
