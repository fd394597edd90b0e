#include "src/accounts/token_claims.h"

#include <gtest/gtest.h>

namespace nc {
namespace {

constexpr int64_t issued = 5000;
constexpr int64_t day = 86400;

TEST(TokenClaims, payloadNamesTheUserAndCarriesItsClaims) {
  EXPECT_EQ(R"({"username":"a\"b","issuedAt":5000,"passwordEpoch":3})",
            toCompactJson(newTokenPayload("a\"b", issued, 3)));
}

TEST(TokenClaims, aTokenExpiresWhenItsAgeReachesTheLifetime) {
  const JsonValue payload = newTokenPayload("admin", issued, 0);
  const TokenRules rules{day, 0};
  EXPECT_EQ(TokenStanding::current, judgeTokenPayload(payload, rules, issued));
  EXPECT_EQ(TokenStanding::current, judgeTokenPayload(payload, rules, issued + day - 1));
  EXPECT_EQ(TokenStanding::expired, judgeTokenPayload(payload, rules, issued + day));
  EXPECT_EQ(TokenStanding::expired, judgeTokenPayload(payload, rules, issued + day + 1));
  EXPECT_EQ(TokenStanding::expired, judgeTokenPayload(payload, TokenRules{1, 0}, issued + 1));
  EXPECT_EQ(TokenStanding::current, judgeTokenPayload(payload, TokenRules{1, 0}, issued));
}

TEST(TokenClaims, lifetimeZeroMeansNever) {
  const JsonValue payload = newTokenPayload("admin", issued, 0);
  EXPECT_EQ(TokenStanding::current, judgeTokenPayload(payload, TokenRules{0, 0}, issued + 100 * 365 * day));
  EXPECT_EQ(TokenStanding::current, judgeTokenPayload(payload, TokenRules{0, 0}, INT64_MAX));
}

TEST(TokenClaims, anEarlierPasswordEpochIsRevokedWhateverItsAge) {
  const TokenRules afterChange{day, 1};
  EXPECT_EQ(TokenStanding::revoked, judgeTokenPayload(newTokenPayload("admin", issued, 0), afterChange, issued));
  EXPECT_EQ(TokenStanding::current, judgeTokenPayload(newTokenPayload("admin", issued, 1), afterChange, issued));
  EXPECT_EQ(TokenStanding::revoked, judgeTokenPayload(newTokenPayload("admin", issued, 0), afterChange, issued + day));
  EXPECT_EQ(TokenStanding::revoked, judgeTokenPayload(newTokenPayload("admin", issued, 2), afterChange, issued));
}

TEST(TokenClaims, payloadsWithoutTheClaims) {
  const TokenRules rules{day, 0};
  EXPECT_EQ(TokenStanding::noUsername, judgeTokenPayload(JsonValue(JsonObject{}), rules, issued));
  EXPECT_EQ(TokenStanding::noUsername, judgeTokenPayload(JsonValue("admin"), rules, issued));
  EXPECT_EQ(TokenStanding::noUsername,
            judgeTokenPayload(JsonValue(JsonObject{{"issuedAt", issued}, {"passwordEpoch", 0}}), rules, issued));
  // The payload of a token from before lifetimes existed.
  EXPECT_EQ(TokenStanding::revoked, judgeTokenPayload(JsonValue(JsonObject{{"username", "admin"}}), rules, issued));
  EXPECT_EQ(TokenStanding::revoked,
            judgeTokenPayload(JsonValue(JsonObject{{"username", "admin"}, {"issuedAt", "5000"}, {"passwordEpoch", 0}}),
                              rules, issued));
  EXPECT_EQ(TokenStanding::revoked,
            judgeTokenPayload(JsonValue(JsonObject{{"username", "admin"}, {"issuedAt", issued}, {"passwordEpoch", 0.0}}),
                              rules, issued));
}

}  // namespace
}  // namespace nc
