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

}  // namespace
}  // namespace nc::test
