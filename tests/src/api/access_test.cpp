// The login throttle, device tokens, token lifetimes, the password-change
// epoch and the factory-password flag, through the procedures as a client
// meets them.
#include "src/accounts/tokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>

#include "src/api/context.h"
#include "src/api/entry_handlers.h"
#include "src/api/failure_table.h"
#include "src/api/procedure_table.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

const std::string invalidToken = R"({"error":{"code":23010,"message":"Invalid auth token"}})";
const std::string expiredToken = R"({"error":{"code":27002,"message":"Expired auth token"}})";
const std::string exceedLimit = R"({"error":{"code":25000,"message":"Exceed limit"}})";

class Access : public ::testing::Test {
 protected:
  Access() {
    writeFile(dir_.path() / "global_conf.json", "{}");
    context_ = newContext((dir_.path() / "global_conf.json").string(), "", (dir_.path() / "accounts.sqlite3").string());
    initAccounts(*context_);
    // The server thread reads the clock while the test moves it.
    context_->access.now = [this] { return start_ + std::chrono::seconds(elapsed_.load()); };
    auto server = newHttpServer(4096);
    setupJsonApiRoute(*server, context_);
    catchErrors(*server, newFailureCatcher());
    running_ = std::make_unique<InProcessServer>(server);
  }

  std::string call(const std::string& path, const std::string& body, const std::string& from = "127.0.0.1") {
    return roundTripFrom(from, running_->port(),
                         "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body);
  }

  std::string login(const std::string& password, const std::string& from = "127.0.0.1",
                    const std::string& user = "admin", const std::string& extra = "") {
    return call("/rpc/v1/login/password",
                R"({"username":")" + user + R"(","password":")" + password + "\"" + extra + "}", from);
  }
  std::string loginWithDevice(const std::string& device, const std::string& from,
                              const std::string& password = "qzvtk") {
    return login(password, from, "admin", R"(,"deviceToken":")" + device + "\"");
  }

  static std::string memberOf(const std::string& reply, const std::string& name) {
    return parseJson(bodyOf(reply)).asObject().at("output").asObject().at(name).asString();
  }
  static std::string tokenOf(const std::string& reply) { return memberOf(reply, "auth"); }

  std::string getConfig(const std::string& token) {
    return call("/rpc/forwarder-config/get", R"({"auth":")" + token + "\"}");
  }

  std::string updatePassword(const std::string& token, const std::string& current, const std::string& next) {
    return call("/rpc/password/update", R"({"auth":")" + token + R"(","input":{"currentPassword":")" + current +
                                             R"(","newPassword":")" + next + "\"}}");
  }

  TempDir dir_;
  std::shared_ptr<Context> context_;
  const TokenClock::time_point start_{std::chrono::hours(24 * 365)};
  std::atomic<int64_t> elapsed_{0};
  std::unique_ptr<InProcessServer> running_;
};

TEST_F(Access, aLockedAddressIsRefusedAtOnceWhileAnotherLogsIn) {
  testing::internal::CaptureStdout();
  for (int failure = 1; failure <= 4; ++failure) EXPECT_EQ(403, statusOf(login("guess", "127.0.0.2"))) << failure;
  EXPECT_EQ(400, statusOf(login("guess", "127.0.0.2", "root")));  // unknown names count too
  // Locked: even the right password is not looked at.
  const std::string refused = login("qzvtk", "127.0.0.2");
  EXPECT_EQ(429, statusOf(refused));
  EXPECT_EQ(exceedLimit, bodyOf(refused));
  EXPECT_NE(std::string::npos, refused.find("\r\nRetry-After: 1\r\n")) << refused;
  EXPECT_EQ(200, statusOf(login("qzvtk", "127.0.0.1")));
  elapsed_ = 1;
  EXPECT_EQ(403, statusOf(login("guess", "127.0.0.2")));
  EXPECT_NE(std::string::npos, login("qzvtk", "127.0.0.2").find("\r\nRetry-After: 2\r\n"));
  elapsed_ = 3;
  EXPECT_EQ(200, statusOf(login("qzvtk", "127.0.0.2")));
  // The success started the address afresh.
  for (int failure = 1; failure <= 4; ++failure) EXPECT_EQ(403, statusOf(login("guess", "127.0.0.2")));
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, output.find("Z login locked: address 127.0.0.2, account \"root\", for 1 s\n")) << output;
  EXPECT_NE(std::string::npos, output.find("Z login refused: address 127.0.0.2, account \"admin\", retry after 1 s\n"));
  EXPECT_NE(std::string::npos, output.find("Z login locked: address 127.0.0.2, account \"admin\", for 2 s\n"));
  EXPECT_NE(std::string::npos, output.find("Z login released: address 127.0.0.2 after 1 refused attempt\n"));
  EXPECT_EQ(6, std::count(output.begin(), output.end(), '\n')) << output;  // two locks, refusals and releases
}

TEST_F(Access, oneAccountTakesOnlySoManyFailuresFromAllAddresses) {
  testing::internal::CaptureStdout();
  for (int i = 0; i < accountFailuresPerWindow; ++i)
    EXPECT_EQ(403, statusOf(login("guess", "127.0.1." + std::to_string(i + 1))));
  const std::string refused = login("qzvtk", "127.0.2.1");
  EXPECT_EQ(429, statusOf(refused));
  EXPECT_NE(std::string::npos, refused.find("\r\nRetry-After: 60\r\n"));
  elapsed_ = 60;
  EXPECT_EQ(200, statusOf(login("qzvtk", "127.0.2.1")));
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos,
            output.find("Z login locked: address 127.0.1.30, account \"admin\" from every address, for 60 s\n"))
      << output;
}

// Strangers from 200 loopback addresses use up the account's window; the
// operator's browser gets in from yet another address with its device token.
TEST_F(Access, aKnownDeviceLogsInDuringAnAttackFromManyAddresses) {
  testing::internal::CaptureStdout();
  const std::string device = memberOf(login("qzvtk", "127.0.0.250"), "deviceToken");
  std::map<int, int> answers;
  const auto attackStart = std::chrono::steady_clock::now();
  for (int i = 2; i <= 201; ++i) ++answers[statusOf(login("guess", "127.0.0." + std::to_string(i)))];
  const auto attackTime = std::chrono::steady_clock::now() - attackStart;
  EXPECT_EQ((std::map<int, int>{{403, accountFailuresPerWindow}, {429, 200 - accountFailuresPerWindow}}), answers);
  EXPECT_EQ(429, statusOf(login("qzvtk", "127.0.1.1")));
  const std::string known = loginWithDevice(device, "127.0.1.2");
  EXPECT_EQ(200, statusOf(known)) << known;
  EXPECT_EQ(429, statusOf(loginWithDevice(device, "127.0.1.3")));  // spent
  testing::internal::GetCapturedStdout();
  std::cout << "200 failed logins from 127.0.0.2-201: " << answers[403] << " answered 403, " << answers[429]
            << " refused 429, in " << std::chrono::duration_cast<std::chrono::milliseconds>(attackTime).count()
            << " ms; the known device from 127.0.1.2: " << statusOf(known) << "\n";
}

// The member is optional and never refused: whatever is not a current device
// token logs in as a stranger would.
TEST_F(Access, anyDeviceTokenMemberIsTakenSilently) {
  for (const std::string extra : {R"(,"deviceToken":5)", R"(,"deviceToken":null)", R"(,"deviceToken":"!")",
                                  R"(,"deviceToken":"")", R"(,"deviceToken":{"a":1})"}) {
    const std::string reply = login("qzvtk", "127.0.0.1", "admin", extra);
    EXPECT_EQ(200, statusOf(reply)) << extra;
    EXPECT_EQ(44u, memberOf(reply, "deviceToken").size()) << extra;
  }
}

TEST_F(Access, tokensEndWithTheirLifetime) {
  context_->access.tokenLifetime = 100;
  const std::string token = tokenOf(login("qzvtk"));
  elapsed_ = 99;
  EXPECT_EQ(200, statusOf(getConfig(token)));
  elapsed_ = 100;
  const std::string expired = getConfig(token);
  EXPECT_EQ(403, statusOf(expired));
  EXPECT_EQ(expiredToken, bodyOf(expired));
  EXPECT_EQ(200, statusOf(getConfig(tokenOf(login("qzvtk")))));

  context_->access.tokenLifetime = unlimitedTokenLifetime;
  elapsed_ = int64_t{100} * 365 * 86400;
  EXPECT_EQ(200, statusOf(getConfig(token)));
}

TEST_F(Access, aPasswordChangeEndsEveryEarlierToken) {
  const std::string first = tokenOf(login("qzvtk"));
  const std::string second = tokenOf(login("qzvtk"));
  // A wrong current password changes nothing and ends nothing.
  EXPECT_EQ(400, statusOf(updatePassword(second, "wrong", "n3w")));
  EXPECT_EQ(200, statusOf(getConfig(first)));

  const std::string changed = updatePassword(second, "qzvtk", "n3w");
  ASSERT_EQ(200, statusOf(changed)) << changed;
  const JsonValue reply = parseJson(bodyOf(changed));
  const JsonObject& output = reply.asObject().at("output").asObject();
  EXPECT_EQ(2u, output.size());
  const std::string fresh = output.at("auth").asString();
  for (const std::string& earlier : {first, second}) EXPECT_EQ(invalidToken, bodyOf(getConfig(earlier)));
  EXPECT_EQ(200, statusOf(getConfig(fresh)));
  EXPECT_EQ(200, statusOf(getConfig(tokenOf(login("n3w")))));
  // The fresh token carries the caller's name and can change the password again.
  EXPECT_EQ("admin", checkToken(*context_->secret, context_->access, fresh));
  EXPECT_EQ(200, statusOf(updatePassword(fresh, "n3w", "qzvtk")));
  EXPECT_EQ(invalidToken, bodyOf(getConfig(fresh)));
}

// The change revokes every device token of the account but hands the browser
// that made it a new one.
TEST_F(Access, aPasswordChangeKeepsOnlyItsOwnBrowserKnown) {
  const std::string before = login("qzvtk");
  const std::string changed = updatePassword(tokenOf(before), "qzvtk", "n3w");
  for (int i = 1; i <= accountFailuresPerWindow; ++i) login("guess", "127.0.3." + std::to_string(i));
  EXPECT_EQ(429, statusOf(loginWithDevice(memberOf(before, "deviceToken"), "127.0.4.1", "n3w")));
  EXPECT_EQ(200, statusOf(loginWithDevice(memberOf(changed, "deviceToken"), "127.0.4.2", "n3w")));
}

TEST_F(Access, loginFlagsTheFactoryPasswordUntilItChanges) {
  const std::string factory = login("qzvtk");
  EXPECT_EQ(R"({"output":{"auth":")" + tokenOf(factory) + R"(","deviceToken":")" + memberOf(factory, "deviceToken") +
                R"(","factoryPassword":true}})",
            bodyOf(factory));
  EXPECT_EQ(200, statusOf(updatePassword(tokenOf(factory), "qzvtk", "n3w")));
  const std::string changed = login("n3w");
  EXPECT_EQ(R"({"output":{"auth":")" + tokenOf(changed) + R"(","deviceToken":")" + memberOf(changed, "deviceToken") +
                R"("}})",
            bodyOf(changed));
  // Setting it back to the factory password brings the flag back.
  EXPECT_EQ(200, statusOf(updatePassword(tokenOf(changed), "n3w", "qzvtk")));
  EXPECT_NE(std::string::npos, bodyOf(login("qzvtk")).find(R"("factoryPassword":true)"));
}

}  // namespace
}  // namespace nc::test
