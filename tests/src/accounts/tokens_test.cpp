#include "src/accounts/tokens.h"

#include <gtest/gtest.h>

#include "utils/chachapoly.h"

namespace nc {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Issued anywhere within a second, a token is good for its whole lifetime and
// gone less than a second after it.
TEST(Tokens, aTokenLivesAtLeastItsLifetimeAndLessThanASecondMore) {
  const BufferRef key = genChachapolyKey();
  const TokenClock::time_point second{std::chrono::hours(1000)};
  TokenClock::time_point now;
  AccessState state;
  state.now = [&] { return now; };
  state.tokenLifetime = 100;
  const auto standing = [&](const std::string& token) -> std::string {
    try {
      return checkToken(*key, state, token) == "admin" ? "current" : "another user";
    } catch (const ExpiredTokenError&) {
      return "expired";
    }
  };
  for (milliseconds into : {milliseconds(0), milliseconds(1), milliseconds(500), milliseconds(999)}) {
    now = second + into;
    const std::string token = issueToken(*key, state, "admin");
    now = second + into + seconds(100) - milliseconds(1);
    EXPECT_EQ(standing(token), "current") << into.count() << " ms into the second";
    now = second + into + seconds(101);
    EXPECT_EQ(standing(token), "expired") << into.count() << " ms into the second";
  }
}

}  // namespace
}  // namespace nc
