#include "src/accounts/login.h"

#include <gtest/gtest.h>

#include <sstream>

#include "src/accounts/account_store.h"
#include "support/test_support.h"
#include "utils/chachapoly.h"

namespace nc::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Logins from addresses the throttle has already locked, at a time the test
// moves by hand, and the lines they leave in the log.
class LoginLog : public ::testing::Test {
 protected:
  LoginLog() : db_(Database::open((dir_.path() / "accounts.sqlite3").string())) {
    initAccountTable(db_);
    state_.now = [this] { return now_; };
    state_.wallNow = [this] { return DeviceClock::time_point(now_.time_since_epoch()); };
  }

  // Fifteen failures: the longest lock, 900 s.
  void lockLongest(const std::string& address) {
    for (int i = 0; i < failuresBeforeLock + 10; ++i) state_.throttle.addressFailed(address, now_);
  }
  void attempt(const std::string& address, const std::string& password = "guess") {
    try {
      logIn(db_, *key_, state_, {address, "admin", password}, log_);
    } catch (const std::exception&) {
    }
  }
  LoginGrant login(const std::string& address, const std::string& password, const std::string& device = "") {
    return logIn(db_, *key_, state_, {address, "admin", password, device}, log_);
  }
  // The wait a throttled login is refused with.
  seconds refusedWait(const std::string& address, const std::string& password, const std::string& device = "") {
    try {
      login(address, password, device);
    } catch (const LoginThrottledError& refused) {
      return refused.wait;
    }
    ADD_FAILURE() << "let through from " << address;
    return seconds(0);
  }
  // Strangers from `count` addresses, one wrong password each.
  void strangersFail(int count) {
    for (int i = 0; i < count; ++i) attempt("10.2." + std::to_string(i / 256) + "." + std::to_string(i % 256));
  }
  // The lines written so far, without their leading time, and forgotten.
  std::vector<std::string> takeLines() {
    std::vector<std::string> lines;
    std::istringstream written(out_.str());
    for (std::string line; std::getline(written, line);) lines.push_back(line.substr(line.find(' ') + 1));
    out_.str("");
    return lines;
  }

  TempDir dir_;
  Database db_;
  BufferRef key_ = genChachapolyKey();
  AccessState state_;
  ThrottleClock::time_point now_{std::chrono::hours(1000)};
  std::ostringstream out_;
  Logger log_{out_, false};
};

// A line per refusal would fill the journal at thousands a second; a locked
// address gets a line when it is first refused, one a minute while it keeps
// trying, and one when it is let through again.
TEST_F(LoginLog, aHammeringAddressGetsALineAMinute) {
  lockLongest("10.0.0.7");
  const auto start = now_;
  for (int i = 0; i <= 3 * 60 * 20; ++i) {
    now_ = start + i * milliseconds(50);
    attempt("10.0.0.7");
  }
  EXPECT_EQ(takeLines(), (std::vector<std::string>{
                             "login refused: address 10.0.0.7, account \"admin\", retry after 900 s",
                             "login still refused: address 10.0.0.7, 1200 attempts in the last 60 s, retry after 840 s",
                             "login still refused: address 10.0.0.7, 1200 attempts in the last 60 s, retry after 780 s",
                             "login still refused: address 10.0.0.7, 1200 attempts in the last 60 s, retry after 720 s",
                         }));
  now_ = start + seconds(900);
  attempt("10.0.0.7", "qzvtk");
  EXPECT_EQ(takeLines(), std::vector<std::string>{"login released: address 10.0.0.7 after 3601 refused attempts"});
}

// Many addresses at once share sixty lines a minute; the rest are counted, and
// the count is written when the next minute's first line is.
TEST_F(LoginLog, allAddressesShareSixtyLinesAMinute) {
  for (int i = 0; i < 100; ++i) lockLongest("10.1.0." + std::to_string(i));
  for (int i = 0; i < 100; ++i) attempt("10.1.0." + std::to_string(i));
  const std::vector<std::string> first = takeLines();
  ASSERT_EQ(first.size(), 60u);
  EXPECT_EQ(first.back(), "login refused: address 10.1.0.59, account \"admin\", retry after 900 s");
  now_ += seconds(60);
  attempt("10.1.0.99");
  EXPECT_EQ(takeLines(), (std::vector<std::string>{
                             "login lines held back: 40 past the limit of 60 a minute",
                             "login still refused: address 10.1.0.99, 1 attempt in the last 60 s, retry after 840 s",
                         }));
}

// Strangers from any number of addresses use up the account's window; the
// operator's browser still gets in, and a token serves one login only.
TEST_F(LoginLog, aKnownDeviceGetsInWhileStrangersAreCapped) {
  const std::string device = login("127.0.0.1", "qzvtk").deviceToken;
  strangersFail(200);
  EXPECT_EQ(seconds(60), refusedWait("10.3.0.1", "qzvtk"));
  const LoginGrant operatorLogin = login("10.3.0.2", "qzvtk", device);
  EXPECT_NE(device, operatorLogin.deviceToken);
  // The spent token, a stranger's guess at one and the other account's count
  // as none: capped like everyone else.
  createAccount(db_, "bob", "pw");
  const std::string bobs = logIn(db_, *key_, state_, {"127.0.0.1", "bob", "pw"}, log_).deviceToken;
  for (const std::string& none : {device, std::string("AAAA"), bobs})
    EXPECT_EQ(seconds(60), refusedWait("10.3.0.3", "qzvtk", none)) << none;
  EXPECT_NO_THROW(login("10.3.0.4", "qzvtk", operatorLogin.deviceToken));
}

TEST_F(LoginLog, aDeviceTokenIsLockedAfterFiveFailures) {
  const std::string device = login("127.0.0.1", "qzvtk").deviceToken;
  takeLines();
  // A new address for each failure: only the token's count can lock.
  for (int i = 1; i <= failuresBeforeLock; ++i)
    EXPECT_THROW(login("10.4.0." + std::to_string(i), "guess", device), WrongPasswordError);
  EXPECT_EQ(seconds(1), refusedWait("10.4.1.1", "qzvtk", device));
  now_ += seconds(1);
  EXPECT_THROW(login("10.4.0.6", "guess", device), WrongPasswordError);
  EXPECT_EQ(seconds(2), refusedWait("10.4.1.2", "qzvtk", device));
  const std::vector<std::string> lines = takeLines();
  EXPECT_EQ("login locked: address 10.4.0.6, account \"admin\" on its device token, for 2 s", lines.at(2));
  // Without the token the operator is a stranger, and strangers are not capped yet.
  EXPECT_NO_THROW(login("10.4.1.3", "qzvtk"));
  now_ += seconds(2);
  const std::string next = login("10.4.1.4", "qzvtk", device).deviceToken;
  // The renewed token starts without failures.
  EXPECT_THROW(login("10.4.0.7", "guess", next), WrongPasswordError);
  EXPECT_NO_THROW(login("10.4.1.5", "qzvtk", next));
}

TEST_F(LoginLog, aPasswordChangeRevokesTheDeviceTokens) {
  const std::string device = login("127.0.0.1", "qzvtk").deviceToken;
  updateAccountPassword(db_, "admin", "qzvtk", "n3w");
  strangersFail(accountFailuresPerWindow);
  EXPECT_EQ(seconds(60), refusedWait("10.3.0.1", "n3w", device));
}

}  // namespace
}  // namespace nc::test
