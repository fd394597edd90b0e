#include "src/accounts/device_tokens.h"

#include <gtest/gtest.h>

#include "src/accounts/account_store.h"
#include "support/test_support.h"
#include "utils/blake2.h"

namespace nc {
namespace {

using std::chrono::seconds;

const DeviceClock::time_point start{seconds(1'700'000'000)};

class DeviceTokens : public ::testing::Test {
 protected:
  DeviceTokens() : db(Database::open((dir.path() / "db").string())) {
    initAccountTable(db);
    createAccount(db, "bob", "pw");
  }

  bool known(const std::string& token, DeviceClock::time_point at = start, const std::string& user = "admin") {
    return findDeviceToken(db, token, user, at).has_value();
  }
  size_t stored() { return getAllRows(db, "select * from device_token").size(); }

  test::TempDir dir;
  Database db;
};

TEST_F(DeviceTokens, aTokenServesOneLoginOfItsOwnAccount) {
  const std::string token = issueDeviceToken(db, "admin", start);
  ASSERT_EQ(44u, token.size());  // 32 bytes, padded Base64
  EXPECT_EQ('=', token.back());
  // Only the hash is kept.
  EXPECT_EQ((std::vector<DbRow>{{hex(*blake2b(*decodeBase64(token))), "1", "1700000000", "1700000000"}}),
            getAllRows(db, "select * from device_token"));
  EXPECT_TRUE(known(token));
  EXPECT_FALSE(known(token, start, "bob"));
  const std::string shortToken = base64(*newBufferRandomized(deviceTokenBytes - 1));
  for (const std::string& malformed : {std::string(), std::string("not base64!"), token.substr(0, 40), shortToken})
    EXPECT_FALSE(known(malformed)) << malformed;

  const KnownDevice device = *findDeviceToken(db, token, "admin", start);
  const std::string next = renewDeviceToken(db, "admin", device, start + seconds(50));
  EXPECT_FALSE(known(token));
  EXPECT_TRUE(known(next));
  // The browser's first login is carried over; its last use moves on.
  EXPECT_EQ((std::vector<DbRow>{{"1700000000", "1700000050"}}),
            getAllRows(db, "select created_at, last_used_at from device_token"));
}

TEST_F(DeviceTokens, anAccountKeepsItsTwentyMostRecentlyUsed) {
  std::vector<std::string> tokens;
  for (int i = 0; i < maxDeviceTokensPerAccount; ++i)
    tokens.push_back(issueDeviceToken(db, "admin", start + seconds(i)));
  const std::string bobs = issueDeviceToken(db, "bob", start);
  // The oldest is used again, so the second oldest is the one to go.
  const KnownDevice oldest = *findDeviceToken(db, tokens[0], "admin", start);
  const std::string renewed = renewDeviceToken(db, "admin", oldest, start + seconds(100));
  EXPECT_TRUE(known(tokens[1]));
  const std::string extra = issueDeviceToken(db, "admin", start + seconds(101));
  EXPECT_FALSE(known(tokens[1]));
  for (const std::string& kept : {renewed, extra, tokens[2], tokens.back()}) EXPECT_TRUE(known(kept));
  EXPECT_TRUE(known(bobs, start, "bob"));  // other accounts keep theirs
  EXPECT_EQ(size_t(maxDeviceTokensPerAccount) + 1, stored());
}

TEST_F(DeviceTokens, idleTokensAndAPasswordChangeEndThem) {
  const std::string token = issueDeviceToken(db, "admin", start);
  const auto limit = start + deviceTokenIdleLimit;
  EXPECT_TRUE(known(token, limit - seconds(1)));
  EXPECT_FALSE(known(token, limit));
  const std::string bobs = issueDeviceToken(db, "bob", limit);  // any issue sweeps out idle tokens
  EXPECT_EQ(1u, stored());

  const std::string current = issueDeviceToken(db, "admin", limit);
  EXPECT_THROW(updateAccountPassword(db, "admin", "wrong", "n3w"), HashNotMatchError);
  EXPECT_TRUE(known(current, limit));
  updateAccountPassword(db, "admin", "qzvtk", "n3w");
  EXPECT_FALSE(known(current, limit));
  EXPECT_TRUE(known(bobs, limit, "bob"));
}

}  // namespace
}  // namespace nc
