#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "server/http_error.h"
#include "src/accounts/token_seal.h"
#include "src/api/context.h"
#include "src/accounts/token_claims.h"
#include "src/api/entry_handlers.h"
#include "src/api/failure_table.h"
#include "src/api/procedure_table.h"
#include "src/forwarder/config_file.h"
#include "src/units/systemctl.h"
#include "support/fake_systemctl.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {


std::string error(int code, const std::string& message) {
  return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message + R"("}})";
}

class Procedures : public ::testing::Test {
 protected:
  explicit Procedures(std::string unit = "packet-forwarder") { start(std::move(unit)); }

  void start(std::string unit) {
    running_.reset();
    writeFile(configPath(), R"({"gateway_conf":{"serv_port_up":1680}})");
    context_ = newContext(configPath().string(), unit, (dir_.path() / "accounts.sqlite3").string());
    initAccounts(*context_);
    context_->forwarderSettleWindow = std::chrono::milliseconds(300);
    auto server = newHttpServer(4096);
    setupJsonApiRoute(*server, context_);
    mount(*server, "health", healthCheck);
    catchErrors(*server, newFailureCatcher());
    running_ = std::make_unique<InProcessServer>(server);
  }

  std::filesystem::path configPath() const { return dir_.path() / "global_conf.json"; }

  std::string call(const std::string& path, const std::string& body) {
    return roundTrip(running_->port(), "POST " + path + " HTTP/1.1\r\nContent-Length: " +
                                           std::to_string(body.size()) + "\r\n\r\n" + body);
  }

  std::string login(const std::string& user = "admin", const std::string& password = "qzvtk") {
    std::string reply = call("/rpc/v1/login/password", R"({"username":")" + user + R"(","password":")" + password + "\"}");
    EXPECT_EQ(statusOf(reply), 200) << reply;
    return parseJson(bodyOf(reply)).asObject().at("output").asObject().at("auth").asString();
  }

  std::string guarded(const std::string& path, const std::string& token, const std::string& input = "{}") {
    return call(path, R"({"auth":")" + token + R"(","input":)" + input + "}");
  }

  FakeSystemctl fake_;
  TempDir dir_;
  std::shared_ptr<Context> context_;
  std::unique_ptr<InProcessServer> running_;
};

class ProceduresWithoutUnit : public Procedures {
 protected:
  ProceduresWithoutUnit() : Procedures("") {}
};

}  // namespace

TEST_F(Procedures, login) {
  std::string token = login();
  const JsonValue payload = decodeAuthToken(*context_->secret, token);
  EXPECT_EQ(payload.asObject().at("username"), JsonValue("admin"));
  EXPECT_EQ(payload.asObject().size(), 3u);  // the user, the issue time and the password epoch
  EXPECT_NE(login(), token);  // a fresh nonce every time
  // An auth member is not needed and is ignored.
  EXPECT_EQ(statusOf(call("/rpc/login/password", R"({"username":"admin","password":"qzvtk","auth":5})")), 200);
  std::string unknown = call("/rpc/v1/login/password", R"({"username":"root","password":"qzvtk"})");
  EXPECT_EQ(statusOf(unknown), 400);
  EXPECT_EQ(bodyOf(unknown), error(24004, "Password mismatch"));
  std::string wrong = call("/rpc/v1/login/password", R"({"username":"admin","password":"x"})");
  EXPECT_EQ(statusOf(wrong), 403);
  EXPECT_EQ(bodyOf(wrong), error(23009, "Invalid password"));
  EXPECT_EQ(bodyOf(call("/rpc/v1/login/password", R"({"username":"admin"})")), error(21031, "Missing field password"));
  EXPECT_EQ(bodyOf(call("/rpc/v1/login/password", R"({"username":1,"password":"x"})")),
            error(23001, "Field username is not a string"));
}

TEST_F(Procedures, accessGuard) {
  std::string token = login();
  EXPECT_EQ(statusOf(guarded("/rpc/v1/forwarder-config/get", token)), 200);
  EXPECT_EQ(statusOf(guarded("/rpc/forwarder-config/get", token)), 200);
  EXPECT_EQ(bodyOf(call("/rpc/v1/forwarder-config/get", "{}")), error(21031, "Missing field auth"));
  EXPECT_EQ(bodyOf(call("/rpc/v1/forwarder-config/get", R"({"auth":1})")),
            error(23001, "Field auth is not a string"));
  // Not padded Base64: refused before any token work.
  std::string notBase64 = guarded("/rpc/v1/forwarder-config/get", "abc");
  EXPECT_EQ(statusOf(notBase64), 403);
  EXPECT_EQ(bodyOf(notBase64), error(28002, "Insufficient access right"));
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder-config/get", "")), error(23010, "Invalid auth token"));
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder-config/get", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA")),
            error(23010, "Invalid auth token"));
  std::string altered = token;
  altered[20] = altered[20] == 'A' ? 'B' : 'A';
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/sshd/stop", altered)), error(23010, "Invalid auth token"));
  // A token that opens but names no user.
  std::string anonymous = encodeAuthToken(*context_->secret, parseJson(R"({"user":"admin"})"));
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/sshd/stop", anonymous)), error(28002, "Insufficient access right"));
  // The account need not exist.
  std::string stranger = encodeAuthToken(*context_->secret, newTokenPayload("nobody", tokenClockSeconds(), 0));
  EXPECT_EQ(statusOf(guarded("/rpc/v1/forwarder-config/get", stranger)), 200);
  // A name alone, without the issue time and password epoch, is not enough.
  std::string bare = encodeAuthToken(*context_->secret, parseJson(R"({"username":"admin"})"));
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder-config/get", bare)), error(23010, "Invalid auth token"));
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(Procedures, tokensDoNotSurviveARestart) {
  std::string token = login();
  start("packet-forwarder");
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder-config/get", token)), error(23010, "Invalid auth token"));
  EXPECT_EQ(statusOf(guarded("/rpc/v1/forwarder-config/get", login())), 200);
}

TEST_F(Procedures, passwordUpdate) {
  std::string token = login();
  std::string wrong = guarded("/rpc/password/update", token, R"({"currentPassword":"x","newPassword":"y"})");
  EXPECT_EQ(statusOf(wrong), 400);
  EXPECT_EQ(bodyOf(wrong), error(24004, "Password mismatch"));
  std::string done = guarded("/rpc/password/update", token, R"({"currentPassword":"qzvtk","newPassword":"s3cret"})");
  EXPECT_EQ(statusOf(done), 200);
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder-config/get", token)), error(23010, "Invalid auth token"));
  token = parseJson(bodyOf(done)).asObject().at("output").asObject().at("auth").asString();
  EXPECT_EQ(statusOf(call("/rpc/v1/login/password", R"({"username":"admin","password":"qzvtk"})")), 403);
  login("admin", "s3cret");
  // Malformed inputs are internal failures.
  EXPECT_EQ(statusOf(call("/rpc/password/update", R"({"auth":")" + token + "\"}")), 500);
  EXPECT_EQ(statusOf(guarded("/rpc/password/update", token, "[]")), 500);
  EXPECT_EQ(statusOf(guarded("/rpc/password/update", token, R"({"currentPassword":"s3cret"})")), 500);
  // A member that is not a string reads as the empty password.
  EXPECT_EQ(statusOf(guarded("/rpc/password/update", token, R"({"currentPassword":"s3cret","newPassword":5})")), 200);
  login("admin", "");
}

TEST_F(Procedures, forwarderConfigGetAndPatch) {
  std::string token = login();
  EXPECT_EQ(bodyOf(guarded("/rpc/forwarder-config/get", token)), R"({"output":{"gateway_conf":{"serv_port_up":1680}}})");
  std::string patched = guarded("/rpc/forwarder-config/patch", token, R"({"gateway_conf":{"serv_port_down":1700}})");
  EXPECT_EQ(bodyOf(patched), R"({"output":{}})");
  EXPECT_EQ(readFile(configPath()), "{\n  \"gateway_conf\": {\n    \"serv_port_up\": 1680,\n    \"serv_port_down\": 1700\n  }\n}");
  EXPECT_EQ(fake_.calls(), std::vector<std::string>{"restart packet-forwarder"});
  // Without input nothing is touched or restarted.
  EXPECT_EQ(statusOf(call("/rpc/forwarder-config/patch", R"({"auth":")" + token + "\"}")), 500);
  EXPECT_EQ(fake_.calls().size(), 1u);
  // A failed restart puts the previous file back, and says so.
  std::string before = readFile(configPath());
  fake_.exitWith("restart", 3);
  std::string failed = guarded("/rpc/forwarder-config/patch", token, R"({"x":1})");
  EXPECT_EQ(statusOf(failed), 500);
  EXPECT_EQ(bodyOf(failed), error(10000, "The forwarder could not be restarted with the new configuration (systemctl "
                                         "ended with status 3); the previous configuration was put back, but "
                                         "restarting the forwarder with it failed too (systemctl ended with status "
                                         "3): the forwarder is not running. Restore a version that ran, or repair "
                                         "the file on the gateway."));
  EXPECT_EQ(readFile(configPath()), before);
}

TEST_F(ProceduresWithoutUnit, patchRestartsNothing) {
  std::string token = login();
  EXPECT_EQ(statusOf(guarded("/rpc/forwarder-config/patch", token, R"({"a":1})")), 200);
  EXPECT_NE(readFile(configPath()).find("\"a\": 1"), std::string::npos);
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(Procedures, unitStatus) {
  std::string token = login();
  fake_.setState("packet-forwarder", "active", "running", 1765224678000);
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder/status", token)),
            R"({"output":{"unit":"packet-forwarder","state":"active","subState":"running",)"
            R"("since":"2025-12-08T20:11:18Z","enabled":"enabled"}})");
  EXPECT_EQ(bodyOf(guarded("/rpc/sshd/status", token)),
            R"({"output":{"unit":"ssh","state":"inactive","subState":"dead","since":null,"enabled":"enabled"}})");
  fake_.forgetUnit("ssh");
  EXPECT_EQ(bodyOf(guarded("/rpc/sshd/status", token)),
            R"({"output":{"unit":"ssh","state":"unknown","subState":null,"since":null,"enabled":null,)"
            R"("message":"Unit ssh.service could not be found."}})");
  EXPECT_EQ(bodyOf(call("/rpc/v1/forwarder/status", "{}")), error(21031, "Missing field auth"));
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(ProceduresWithoutUnit, statusIsUnmanaged) {
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/forwarder/status", login())),
            R"({"output":{"unit":"","state":"unmanaged","subState":null,"since":null,"enabled":null}})");
  EXPECT_TRUE(fake_.queries().empty());
}

// A status read changes nothing, so it does not wait behind a running restart.
TEST_F(Procedures, statusIsAnsweredWhileARestartRuns) {
  std::string token = login();
  fake_.sleepFor("restart", 3.0);
  auto apply = std::async(std::launch::async, [&] { return guarded("/rpc/forwarder-config/patch", token, "{}"); });
  auto restarting = [&] { return !fake_.log().empty(); };
  for (int i = 0; i < 500 && !restarting(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(restarting());
  std::string status = guarded("/rpc/v1/forwarder/status", token);
  EXPECT_EQ(statusOf(status), 200);
  EXPECT_EQ(fake_.log(), std::vector<std::string>{"begin restart packet-forwarder"});
  EXPECT_EQ(statusOf(apply.get()), 200);
}

TEST_F(Procedures, historyVersionAndRestore) {
  std::string token = login();
  std::string original = readFile(configPath());
  ASSERT_EQ(statusOf(guarded("/rpc/forwarder-config/patch", token, R"({"gateway_conf":{"serv_port_up":1700}})")), 200);
  JsonValue history = parseJson(bodyOf(guarded("/rpc/v1/forwarder-config/history", token)));
  const JsonArray& versions = history.asObject().at("output").asArray();
  ASSERT_EQ(versions.size(), 1u);
  const JsonObject& first = versions[0].asObject();
  EXPECT_EQ(first.at("id").asInt(), 1);
  EXPECT_EQ(first.at("account").asString(), "admin");
  EXPECT_EQ(first.at("size").asInt(), static_cast<int64_t>(original.size()));
  EXPECT_EQ(toCompactJson(first.at("paths")), R"(["gateway_conf.serv_port_up"])");
  EXPECT_EQ(first.at("outcome").asString(), "held");
  EXPECT_FALSE(first.contains("text"));

  JsonValue version = parseJson(bodyOf(guarded("/rpc/forwarder-config/version", token, R"({"id":1})")));
  EXPECT_EQ(version.asObject().at("output").asObject().at("text").asString(), original);
  EXPECT_EQ(bodyOf(guarded("/rpc/forwarder-config/restore", token, R"({"id":1})")), R"({"output":{}})");
  EXPECT_EQ(readFile(configPath()), original);

  std::string unknown = guarded("/rpc/forwarder-config/restore", token, R"({"id":7})");
  EXPECT_EQ(statusOf(unknown), 404);
  EXPECT_EQ(bodyOf(unknown), error(22002, "There is no version 7 in the history"));
  EXPECT_EQ(bodyOf(guarded("/rpc/forwarder-config/version", token, R"({"id":7})")),
            error(22002, "There is no version 7 in the history"));
  EXPECT_EQ(bodyOf(guarded("/rpc/forwarder-config/version", token, R"({"id":"1"})")),
            error(23001, "Field id is not an integer"));
  EXPECT_EQ(bodyOf(call("/rpc/forwarder-config/restore", R"({"auth":")" + token + "\"}")),
            error(21031, "Missing field input"));
  EXPECT_EQ(fake_.calls(), (std::vector<std::string>{"restart packet-forwarder", "restart packet-forwarder"}));
}

// The file as it stands, for a download and for saying what is wrong with a
// file broken by hand, which get refuses.
TEST_F(Procedures, rawText) {
  std::string token = login();
  const auto raw = [&] {
    return parseJson(bodyOf(guarded("/rpc/forwarder-config/raw", token))).asObject().at("output");
  };
  const std::string commented = "// gateway 7\n{\"gateway_conf\": {\"serv_port_up\": 1680}}\n";
  writeFile(configPath(), commented);
  EXPECT_EQ(raw(), JsonValue(JsonObject{{"text", commented}, {"valid", true}}));

  const std::string broken = "{\n  \"gateway_conf\": {\n    \"serv_port_up\": 1680,\n  }\n}\n";
  writeFile(configPath(), broken);
  const JsonValue answer = raw();
  EXPECT_EQ(answer.asObject().at("text").asString(), broken);
  EXPECT_FALSE(answer.asObject().at("valid").asBool());
  const JsonObject& problem = answer.asObject().at("error").asObject();
  EXPECT_EQ(problem.at("line").asInt(), 4);
  EXPECT_EQ(problem.at("column").asInt(), 3);
  EXPECT_NE(problem.at("message").asString().find("at line 4, column 3: "), std::string::npos)
      << problem.at("message").asString();
  EXPECT_EQ(statusOf(guarded("/rpc/forwarder-config/get", token)), 500);

  writeFile(configPath(), std::string(maxForwarderFileBytes + 1, ' '));
  EXPECT_EQ(bodyOf(guarded("/rpc/forwarder-config/raw", token)),
            error(10000, configPath().string() + " is larger than 1048576 bytes"));
  EXPECT_EQ(statusOf(guarded("/rpc/forwarder-config/raw", "not-a-token")), 403);
}

TEST_F(Procedures, sshCommands) {
  std::string token = login();
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/sshd/start", token)), R"({"output":{}})");
  EXPECT_EQ(bodyOf(guarded("/rpc/sshd/stop", token)), R"({"output":{}})");
  EXPECT_EQ(fake_.calls(), (std::vector<std::string>{"start ssh", "enable ssh", "stop ssh", "disable ssh"}));
  fake_.exitWith("start", 5);
  EXPECT_EQ(statusOf(guarded("/rpc/v1/sshd/start", token)), 500);
  EXPECT_EQ(fake_.calls().back(), "start ssh");  // enable is not run after start failed
  fake_.killWith("stop", 9);
  // The shell that ran it says how it ended.
  EXPECT_EQ(bodyOf(guarded("/rpc/v1/sshd/stop", token)), error(10000, "Killed"));
  EXPECT_EQ(fake_.calls().back(), "stop ssh");
}

// A hung command fails at its deadline and lets go of the command lock.
TEST_F(Procedures, hungCommandTimesOutAndTheNextProcedureRuns) {
  std::string token = login();
  setCommandDeadline({std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
  fake_.sleepFor("start", 60);
  auto hung = std::async(std::launch::async, [&] { return guarded("/rpc/v1/sshd/start", token); });
  auto started = [&] { return !fake_.log().empty(); };
  for (int i = 0; i < 500 && !started(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // The hung command keeps the deadline it started with; the next one gets the
  // usual one, so that a loaded machine cannot make it time out too.
  setCommandDeadline(defaultCommandDeadline);
  std::string next = guarded("/rpc/v1/sshd/stop", token);
  EXPECT_EQ(bodyOf(hung.get()), error(10000, "systemctl did not finish within 0.3 s and was stopped"));
  EXPECT_EQ(bodyOf(next), R"({"output":{}})");
  EXPECT_EQ(fake_.calls(), (std::vector<std::string>{"start ssh", "stop ssh", "disable ssh"}));
}

// The operator reads what went wrong: systemctl's first line of error, else
// its status, and for a command stopped at the deadline, that deadline.
TEST_F(Procedures, commandFailuresSayWhatHappened) {
  std::string token = login();
  fake_.printOnCall("start", "", "\nFailed to start ssh.service: Unit ssh.service is masked.\nmore\n");
  fake_.exitWith("start", 1);
  testing::internal::CaptureStdout();
  std::string masked = guarded("/rpc/v1/sshd/start", token);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "systemctl start ssh: Failed to start ssh.service: Unit ssh.service is masked.\n");
  EXPECT_EQ(statusOf(masked), 500);
  EXPECT_EQ(bodyOf(masked), error(10000, "Failed to start ssh.service: Unit ssh.service is masked."));

  setCommandDeadline({std::chrono::milliseconds(1500), std::chrono::milliseconds(100)});
  fake_.sleepFor("restart", 60);
  std::string hung = guarded("/rpc/forwarder-config/patch", token, R"({"x":1})");
  setCommandDeadline(defaultCommandDeadline);
  const std::string stopped = "systemctl did not finish within 1.5 s and was stopped";
  EXPECT_EQ(bodyOf(hung), error(10000, "The forwarder could not be restarted with the new configuration (" + stopped +
                                            "); the previous configuration was put back, but restarting the forwarder "
                                            "with it failed too (" + stopped + "): the forwarder is not running. "
                                            "Restore a version that ran, or repair the file on the gateway."));
}

TEST_F(Procedures, commandsOfTwoProceduresNeverOverlapAndOtherRequestsGoOn) {
  std::string token = login();
  fake_.sleepFor("start", 1.0);
  fake_.sleepFor("stop", 0.2);
  auto first = std::async(std::launch::async, [&] { return guarded("/rpc/v1/sshd/start", token); });
  auto started = [&] { return !fake_.log().empty(); };
  for (int i = 0; i < 500 && !started(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(started());
  auto second = std::async(std::launch::async, [&] { return guarded("/rpc/v1/sshd/stop", token); });
  // Served while "systemctl start" still sleeps.
  EXPECT_EQ(statusOf(roundTrip(running_->port(), "GET /health HTTP/1.1\r\n\r\n")), 200);
  EXPECT_EQ(fake_.log(), std::vector<std::string>{"begin start ssh"});
  EXPECT_EQ(statusOf(first.get()), 200);
  EXPECT_EQ(statusOf(second.get()), 200);
  EXPECT_EQ(fake_.log(), (std::vector<std::string>{"begin start ssh", "end start ssh", "begin enable ssh",
                                                   "end enable ssh", "begin stop ssh", "end stop ssh",
                                                   "begin disable ssh", "end disable ssh"}));
}

}  // namespace nc::test
