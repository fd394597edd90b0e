#include <gtest/gtest.h>

#include <asio/detached.hpp>

#include "src/api/failure_table.h"
#include "src/forwarder/apply.h"
#include "src/forwarder/history.h"
#include "src/forwarder/settle_watch.h"
#include "support/fake_systemctl.h"
#include "support/run_awaitable.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

using namespace std::chrono_literals;

const std::string unit = "packet-forwarder";
const std::string handWritten = "// gateway 7\n{\"gateway_conf\": {\"serv_port_up\": 1680}}\n";
const std::string patched = "{\n  \"gateway_conf\": {\n    \"serv_port_up\": 1680,\n    \"serv_port_down\": 1700\n  }\n}";
const std::string jobFailed = "Job for packet-forwarder.service failed because the control process exited with error code.";
const std::string notRunning =
    ": the forwarder is not running. Restore a version that ran, or repair the file on the gateway.";

class VerifiedApply : public ::testing::Test {
 protected:
  VerifiedApply() {
    writeFile(configPath(), handWritten);
    target_ = {configPath().string(), unit, (dir_.path() / "forwarder-history").string(), 1000ms};
  }

  std::filesystem::path configPath() const { return dir_.path() / "global_conf.json"; }

  // The status and client message the service answers the failure with, or
  // "applied". Failures the service does not know are left to the test.
  std::string outcome(asio::awaitable<void> task) {
    try {
      runAwaitable(io_, std::move(task));
    } catch (const std::exception&) {
      const FailureReply reply = serviceFailures().replyFor(std::current_exception());
      if (reply.unexpected) throw;
      return std::to_string(reply.status) + " " + reply.body.asObject().at("error").asObject().at("message").asString();
    }
    return "applied";
  }
  std::string patch(const std::string& text = R"({"gateway_conf":{"serv_port_down":1700}})") {
    return outcome(applyForwarderPatch(target_, parseJson(text), "admin"));
  }
  std::string restore(int64_t id) { return outcome(restoreForwarderVersion(target_, id, "operator")); }
  std::vector<std::string> restarts(size_t n) const { return std::vector<std::string>(n, "restart " + unit); }
  std::optional<ApplyOutcome> newestOutcome() const { return listVersions(target_.historyFolder).at(0).change.outcome; }

  FakeSystemctl fake_;
  TempDir dir_;
  ForwarderTarget target_;
  asio::io_context io_;
};

UnitStatus reading(const std::string& state, std::optional<int64_t> restarts = 0) {
  UnitStatus status;
  status.state = state;
  status.subState = state == "failed" ? "exit-code" : "running";
  status.restarts = restarts;
  return status;
}

}  // namespace

TEST(SettleWatch, holdsOnlyWhenActiveAtTheEndWithAStillCounter) {
  SettleWatch held;
  EXPECT_EQ(held.observe(reading("activating")), std::nullopt);
  EXPECT_EQ(held.observe(reading("active")), std::nullopt);
  EXPECT_EQ(held.verdict(), std::nullopt);

  SettleWatch failed;
  failed.observe(reading("active"));
  EXPECT_EQ(failed.observe(reading("failed")), "failed: exit-code");
  failed.observe(reading("active"));
  EXPECT_EQ(failed.verdict(), "failed: exit-code");

  SettleWatch looping;
  looping.observe(reading("active", 4));
  EXPECT_EQ(looping.observe(reading("active", 6)), "restarted by systemd 2 times");
  SettleWatch reset;
  reset.observe(reading("active", 4));
  EXPECT_EQ(reset.observe(reading("active", 0)), "restart counter moved from 4 to 0");

  SettleWatch stillStarting;
  stillStarting.observe(reading("activating"));
  EXPECT_EQ(stillStarting.verdict(), "activating: running");
  SettleWatch unread;
  EXPECT_EQ(unread.verdict(), "its state was never read");
  SettleWatch unknown;
  UnitStatus noBus;
  noBus.state = "unknown";
  noBus.message = "Failed to connect to bus";
  unknown.observe(reading("active"));
  unknown.observe(noBus);
  EXPECT_EQ(unknown.verdict(), "unknown: Failed to connect to bus");
  // A unit without a restart counter is judged by its state alone.
  SettleWatch noCounter;
  noCounter.observe(reading("active", std::nullopt));
  noCounter.observe(reading("active", 3));
  EXPECT_EQ(noCounter.verdict(), std::nullopt);
}

TEST_F(VerifiedApply, aGoodApplyIsWatchedAndKept) {
  EXPECT_EQ(patch(), "applied");
  EXPECT_EQ(readFile(configPath()), patched);
  EXPECT_EQ(fake_.calls(), restarts(1));
  EXPECT_GE(fake_.queries().size(), 2u);
  auto versions = listVersions(target_.historyFolder);
  ASSERT_EQ(versions.size(), 1u);
  EXPECT_EQ(versionText(target_.historyFolder, versions[0].id), handWritten);
  EXPECT_EQ(versions[0].change.account, "admin");
  EXPECT_EQ(versions[0].change.paths, std::vector<std::string>{"gateway_conf.serv_port_down"});
  EXPECT_EQ(versions[0].change.outcome, ApplyOutcome::held);
}

TEST_F(VerifiedApply, aRestartThatFailsIsRolledBack) {
  fake_.failNextRestarts(unit, 1);
  EXPECT_EQ(patch(), "500 The forwarder could not be restarted with the new configuration (" + jobFailed +
                         "); the previous configuration was restored.");
  EXPECT_EQ(readFile(configPath()), handWritten);
  EXPECT_EQ(fake_.calls(), restarts(2));
  EXPECT_EQ(newestOutcome(), ApplyOutcome::rolledBack);
}

TEST_F(VerifiedApply, aUnitThatDiesInsideTheWindowIsRolledBack) {
  fake_.failAfterStart(unit, 0.4);
  EXPECT_EQ(patch(), "500 The forwarder did not stay running with the new configuration (failed: exit-code); "
                     "the previous configuration was restored.");
  EXPECT_EQ(readFile(configPath()), handWritten);
  EXPECT_EQ(fake_.calls(), restarts(2));

  // A crash loop: each reading may find more restarts, so the count varies.
  fake_.failAfterStart(unit, 0.3, true);
  std::string looping = patch();
  EXPECT_EQ(looping.rfind("500 The forwarder did not stay running with the new configuration (restarted by systemd ", 0),
            0u) << looping;
  EXPECT_NE(looping.find("); the previous configuration was restored."), std::string::npos) << looping;
  EXPECT_EQ(readFile(configPath()), handWritten);
}

TEST_F(VerifiedApply, aUnitThatDiesAfterTheWindowIsKept) {
  fake_.failAfterStart(unit, 4);
  EXPECT_EQ(patch(), "applied");
  EXPECT_EQ(readFile(configPath()), patched);
  EXPECT_EQ(fake_.calls(), restarts(1));
}

TEST_F(VerifiedApply, aSecondRestartThatFailsIsReportedToo) {
  fake_.failNextRestarts(unit, 2);
  EXPECT_EQ(patch(), "500 The forwarder could not be restarted with the new configuration (" + jobFailed +
                         "); the previous configuration was put back, but restarting the forwarder with it failed too (" +
                         jobFailed + ")" + notRunning);
  EXPECT_EQ(readFile(configPath()), handWritten);
  EXPECT_EQ(fake_.calls(), restarts(2));
  EXPECT_EQ(newestOutcome(), ApplyOutcome::rolledBack);
}

// The old file may fail as well (a concentrator that no longer answers): the
// rollback's restart is watched as long, and never reported as a repair.
TEST_F(VerifiedApply, aRollbackThatDiesInsideTheWindowSaysTheForwarderIsDown) {
  fake_.failNextRestarts(unit, 1);
  fake_.failAfterStart(unit, 0.4);
  EXPECT_EQ(patch(), "500 The forwarder could not be restarted with the new configuration (" + jobFailed +
                         "); the previous configuration was put back, but the forwarder did not stay running with it "
                         "either (failed: exit-code)" + notRunning);
  EXPECT_EQ(readFile(configPath()), handWritten);
  EXPECT_EQ(fake_.calls(), restarts(2));
  EXPECT_EQ(newestOutcome(), ApplyOutcome::rolledBack);
}

TEST_F(VerifiedApply, aUnitThatCannotBeReadIsNeverReportedRunning) {
  fake_.printOnCall("show", "", "Failed to connect to bus: Host is down\n");
  fake_.exitWith("show", 1);
  const std::string unread = "unknown: Failed to connect to bus: Host is down";
  EXPECT_EQ(patch(), "500 The forwarder did not stay running with the new configuration (" + unread +
                         "); the previous configuration was put back, but the forwarder did not stay running with it "
                         "either (" + unread + "): the forwarder's state cannot be read, so it may not be running. "
                         "Check it on the gateway.");
  EXPECT_EQ(readFile(configPath()), handWritten);
}

TEST_F(VerifiedApply, withoutAUnitTheFileIsWrittenAndKept) {
  target_.unit = "";
  EXPECT_EQ(patch(), "applied");
  EXPECT_EQ(readFile(configPath()), patched);
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_TRUE(fake_.queries().empty());
  EXPECT_EQ(listVersions(target_.historyFolder).size(), 1u);
  EXPECT_EQ(newestOutcome(), ApplyOutcome::saved);
}

TEST_F(VerifiedApply, aHistoryThatCannotBeWrittenChangesNothing) {
  writeFile(target_.historyFolder, "in the way");
  std::string result = patch();
  EXPECT_EQ(result, "500 The configuration history cannot be written (cannot create " + target_.historyFolder +
                        ": Not a directory); nothing was changed.");
  EXPECT_EQ(readFile(configPath()), handWritten);
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(VerifiedApply, restore) {
  ASSERT_EQ(patch(), "applied");
  ASSERT_EQ(patch(R"({"gateway_conf":{"serv_port_up":1}})"), "applied");
  EXPECT_EQ(restore(1), "applied");
  EXPECT_EQ(readFile(configPath()), handWritten);  // comments and all
  auto versions = listVersions(target_.historyFolder);
  ASSERT_EQ(versions.size(), 3u);
  EXPECT_EQ(versions[0].change.restoredFrom, 1);
  EXPECT_EQ(versions[0].change.account, "operator");
  EXPECT_EQ(versions[0].change.paths,
            (std::vector<std::string>{"gateway_conf.serv_port_up", "gateway_conf.serv_port_down"}));
  EXPECT_EQ(fake_.calls(), restarts(3));

  // A file broken by hand is kept and can be repaired by a restore; the broken
  // version itself cannot be restored.
  writeFile(configPath(), "{\"gateway_conf\": ");
  EXPECT_EQ(restore(2), "applied");
  EXPECT_EQ(readFile(configPath()), patched);
  EXPECT_EQ(listVersions(target_.historyFolder)[0].change.paths, std::vector<std::string>{"*"});
  EXPECT_EQ(restore(4), "400 Version 4 is not valid JSON and cannot be restored");
  EXPECT_EQ(readFile(configPath()), patched);
  EXPECT_EQ(listVersions(target_.historyFolder).size(), 4u);
  EXPECT_EQ(fake_.calls(), restarts(4));
  EXPECT_EQ(restore(9), "404 There is no version 9 in the history");
}

// The forwarder reads its settings from an object and does not start on
// anything else; a whole file replaced by `null` was answered 200.
TEST_F(VerifiedApply, aResultThatIsNotAnObjectIsRefusedAndChangesNothing) {
  for (const char* input : {"null", "[1]", "true", "\"text\"", "7"})
    EXPECT_EQ(patch(input), "400 Invalid format") << input;
  EXPECT_EQ(readFile(configPath()), handWritten);
  EXPECT_TRUE(listVersions(target_.historyFolder).empty());
  EXPECT_TRUE(fake_.calls().empty());

  // A file set by hand to an array is kept as a valid version, which a restore
  // refuses all the same.
  writeFile(configPath(), "[1]");
  ASSERT_EQ(patch(), "applied");
  const std::string repaired = readFile(configPath());
  EXPECT_EQ(restore(1), "400 Invalid format");
  EXPECT_EQ(readFile(configPath()), repaired);
  EXPECT_EQ(listVersions(target_.historyFolder).size(), 1u);
  EXPECT_EQ(fake_.calls(), restarts(1));
}

TEST_F(VerifiedApply, appliesNeverInterleave) {
  fake_.sleepFor("restart", 0.2);
  int done = 0;
  // Outlives the coroutines, which refer to its captures.
  auto one = [&](int i) -> asio::awaitable<void> {
    co_await applyForwarderPatch(target_, parseJson("{\"k" + std::to_string(i) + "\":" + std::to_string(i) + "}"), "a");
    ++done;
  };
  for (int i = 0; i < 3; ++i) asio::co_spawn(io_, one(i), asio::detached);
  io_.run_for(20s);
  EXPECT_EQ(done, 3);
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    expected.push_back("begin restart " + unit);
    expected.push_back("end restart " + unit);
  }
  EXPECT_EQ(fake_.log(), expected);
  const JsonObject document = parseJson(readFile(configPath())).asObject();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(document.at("k" + std::to_string(i)).asInt(), i);
}

}  // namespace nc::test
