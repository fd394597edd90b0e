#include "src/accounts/login_throttle.h"

#include <algorithm>

namespace nc {
namespace {

// Retry-After is in whole seconds; rounding down would invite a retry that is
// refused again.
std::chrono::seconds wholeSecondsUntil(ThrottleClock::time_point until, ThrottleClock::time_point now) {
  return std::chrono::ceil<std::chrono::seconds>(until - now);
}

}  // namespace

std::optional<std::chrono::seconds> lockAfter(int failures) {
  if (failures < failuresBeforeLock) return std::nullopt;
  // Past this many doublings the lock is at its longest anyway; stopping here
  // keeps the shift from overflowing.
  constexpr int enoughDoublings = 20;
  const int doublings = std::min(failures - failuresBeforeLock, enoughDoublings);
  return std::min<std::chrono::seconds>(firstLock * (int64_t{1} << doublings), longestLock);
}

LoginThrottle::LoginThrottle(size_t maxAddresses, size_t maxAccounts)
    : addresses_(maxAddresses), accounts_(maxAccounts), devices_(maxTrackedDevices) {}

std::optional<std::chrono::seconds> LoginThrottle::lockedFor(LockTable& table, std::string_view key,
                                                             ThrottleClock::time_point now) {
  if (const LockRecord* record = table.find(key); record && now < record->lockedUntil)
    return wholeSecondsUntil(record->lockedUntil, now);
  return std::nullopt;
}

std::optional<std::chrono::seconds> LoginThrottle::failed(LockTable& table, std::string_view key,
                                                          ThrottleClock::time_point now) {
  LockRecord& record = table.touch(key);
  ++record.failures;
  const std::optional<std::chrono::seconds> lock = lockAfter(record.failures);
  if (lock) record.lockedUntil = now + *lock;
  return lock;
}

std::optional<std::chrono::seconds> LoginThrottle::refusal(std::string_view address, std::string_view account,
                                                           ThrottleClock::time_point now, std::string_view device) {
  if (auto wait = lockedFor(addresses_, address, now)) return wait;
  if (!device.empty()) return lockedFor(devices_, device, now);
  if (const AccountRecord* record = accounts_.find(account)) {
    const auto windowEnd = record->windowStart + accountWindow;
    if (now < windowEnd && record->failures >= accountFailuresPerWindow) return wholeSecondsUntil(windowEnd, now);
  }
  return std::nullopt;
}

std::optional<std::chrono::seconds> LoginThrottle::addressFailed(std::string_view address,
                                                                 ThrottleClock::time_point now) {
  return failed(addresses_, address, now);
}

std::optional<std::chrono::seconds> LoginThrottle::deviceFailed(std::string_view device,
                                                                ThrottleClock::time_point now) {
  return failed(devices_, device, now);
}

std::optional<std::chrono::seconds> LoginThrottle::accountFailed(std::string_view account,
                                                                 ThrottleClock::time_point now) {
  AccountRecord& record = accounts_.touch(account);
  if (record.failures == 0 || now >= record.windowStart + accountWindow) record = {0, now};
  ++record.failures;
  if (record.failures != accountFailuresPerWindow) return std::nullopt;
  return wholeSecondsUntil(record.windowStart + accountWindow, now);
}

void LoginThrottle::succeeded(std::string_view address, std::string_view device) {
  addresses_.erase(address);
  devices_.erase(device);
}

}  // namespace nc
