#include "src/accounts/login_throttle.h"

#include <gtest/gtest.h>

#include <string>

namespace nc {
namespace {

using std::chrono::seconds;
using std::chrono::milliseconds;

const ThrottleClock::time_point t0{std::chrono::hours(1000)};

// Fails `count` logins from `address` at `now`, as the procedure would after
// finding the login allowed.
std::optional<seconds> failFrom(LoginThrottle& throttle, const std::string& address, int count,
                                ThrottleClock::time_point now) {
  std::optional<seconds> lock;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(std::nullopt, throttle.refusal(address, "nobody", now)) << "failure " << i + 1;
    lock = throttle.addressFailed(address, now);
  }
  return lock;
}

TEST(LoginThrottle, theFifthFailureLocksAndTheSixthDoubles) {
  LoginThrottle throttle;
  EXPECT_EQ(std::nullopt, failFrom(throttle, "10.0.0.1", 4, t0));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.0.0.1", "admin", t0));
  EXPECT_EQ(seconds(1), throttle.addressFailed("10.0.0.1", t0));
  EXPECT_EQ(seconds(1), throttle.refusal("10.0.0.1", "admin", t0));
  EXPECT_EQ(seconds(1), throttle.refusal("10.0.0.1", "admin", t0 + milliseconds(1)));
  EXPECT_EQ(seconds(1), throttle.refusal("10.0.0.1", "admin", t0 + milliseconds(999)));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.0.0.1", "admin", t0 + milliseconds(1000)));
  // The sixth failure, once the first lock is over, locks twice as long.
  const auto sixth = t0 + seconds(1);
  EXPECT_EQ(seconds(2), throttle.addressFailed("10.0.0.1", sixth));
  EXPECT_EQ(seconds(2), throttle.refusal("10.0.0.1", "admin", sixth));
  EXPECT_EQ(seconds(1), throttle.refusal("10.0.0.1", "admin", sixth + milliseconds(1500)));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.0.0.1", "admin", sixth + seconds(2)));
}

TEST(LoginThrottle, locksDoubleUpToFifteenMinutes) {
  EXPECT_EQ(std::nullopt, lockAfter(0));
  EXPECT_EQ(std::nullopt, lockAfter(failuresBeforeLock - 1));
  EXPECT_EQ(seconds(1), lockAfter(failuresBeforeLock));
  EXPECT_EQ(seconds(2), lockAfter(failuresBeforeLock + 1));
  EXPECT_EQ(seconds(512), lockAfter(failuresBeforeLock + 9));
  EXPECT_EQ(seconds(900), lockAfter(failuresBeforeLock + 10));  // 1024 s capped
  EXPECT_EQ(seconds(900), lockAfter(failuresBeforeLock + 63));
  EXPECT_EQ(seconds(900), lockAfter(1 << 30));

  LoginThrottle throttle;
  auto now = t0;
  failFrom(throttle, "10.0.0.1", failuresBeforeLock - 1, now);
  std::optional<seconds> lock;
  for (int failure = failuresBeforeLock; failure < failuresBeforeLock + 14; ++failure) {
    lock = throttle.addressFailed("10.0.0.1", now);
    now += *lock;
  }
  EXPECT_EQ(seconds(900), lock);
  EXPECT_EQ(seconds(900), throttle.refusal("10.0.0.1", "admin", now - seconds(900)));
}

TEST(LoginThrottle, aSuccessStartsTheAddressAfresh) {
  LoginThrottle throttle;
  failFrom(throttle, "10.0.0.1", 4, t0);
  throttle.succeeded("10.0.0.1");
  EXPECT_EQ(0u, throttle.trackedAddresses());
  EXPECT_EQ(std::nullopt, failFrom(throttle, "10.0.0.1", 4, t0));
  EXPECT_EQ(seconds(1), throttle.addressFailed("10.0.0.1", t0));
}

TEST(LoginThrottle, addressesAreCountedApart) {
  LoginThrottle throttle;
  failFrom(throttle, "10.0.0.1", failuresBeforeLock, t0);
  EXPECT_NE(std::nullopt, throttle.refusal("10.0.0.1", "admin", t0));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.0.0.2", "admin", t0));
  EXPECT_EQ(std::nullopt, failFrom(throttle, "10.0.0.2", failuresBeforeLock - 1, t0));
  throttle.succeeded("10.0.0.2");
  EXPECT_NE(std::nullopt, throttle.refusal("10.0.0.1", "admin", t0));
}

TEST(LoginThrottle, anAccountTakesAFixedNumberOfFailuresPerWindow) {
  LoginThrottle throttle;
  // Each failure from a new address, so no address is ever locked.
  auto failAccount = [&](int first, int count, ThrottleClock::time_point now) {
    std::optional<seconds> wait;
    for (int i = first; i < first + count; ++i) {
      const std::string address = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
      EXPECT_EQ(std::nullopt, throttle.refusal(address, "admin", now)) << address;
      throttle.addressFailed(address, now);
      wait = throttle.accountFailed("admin", now);
    }
    return wait;
  };
  EXPECT_EQ(std::nullopt, failAccount(0, accountFailuresPerWindow - 1, t0));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.1.0.1", "admin", t0 + seconds(10)));
  EXPECT_EQ(seconds(50), failAccount(accountFailuresPerWindow - 1, 1, t0 + seconds(10)));
  // Every address is refused for this account until the window ends; other
  // accounts are not.
  EXPECT_EQ(seconds(50), throttle.refusal("10.1.0.1", "admin", t0 + seconds(10)));
  EXPECT_EQ(seconds(1), throttle.refusal("10.1.0.1", "admin", t0 + accountWindow - milliseconds(1)));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.1.0.1", "operator", t0 + seconds(10)));
  EXPECT_EQ(std::nullopt, throttle.refusal("10.1.0.1", "admin", t0 + accountWindow));
  // A new window starts with the next failure and counts from one again.
  EXPECT_EQ(std::nullopt, failAccount(100, accountFailuresPerWindow - 1, t0 + accountWindow));
  EXPECT_EQ(seconds(60), failAccount(200, 1, t0 + accountWindow));
}

TEST(LoginThrottle, theTableForgetsTheAddressTouchedLongestAgo) {
  LoginThrottle throttle(3);
  failFrom(throttle, "a", failuresBeforeLock, t0);
  failFrom(throttle, "b", 1, t0);
  failFrom(throttle, "c", 1, t0);
  EXPECT_NE(std::nullopt, throttle.refusal("a", "admin", t0));  // touches "a": "b" is now the oldest
  failFrom(throttle, "d", 1, t0);
  EXPECT_EQ(3u, throttle.trackedAddresses());
  EXPECT_NE(std::nullopt, throttle.refusal("a", "admin", t0));
  // "b" was forgotten: it starts again from no failures.
  EXPECT_EQ(std::nullopt, failFrom(throttle, "b", failuresBeforeLock - 1, t0));

  LoginThrottle large;
  for (size_t i = 0; i < maxTrackedAddresses * 3; ++i) large.addressFailed("127." + std::to_string(i), t0);
  EXPECT_EQ(maxTrackedAddresses, large.trackedAddresses());
}

}  // namespace
}  // namespace nc
