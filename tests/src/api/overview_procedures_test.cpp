#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "src/api/context.h"
#include "src/api/failure_table.h"
#include "src/api/metrics_endpoint.h"
#include "src/api/procedure_table.h"
#include "support/fake_journalctl.h"
#include "support/fake_systemctl.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

const std::string metricsToken = "fleet-7f3a";

// The service's procedures and /metrics in this process, the forwarder's
// journal played by the fake journalctl, read afresh on every call.
class OverviewProcedures : public ::testing::Test {
 protected:
  OverviewProcedures() {
    writeFile(dir_.path() / "global_conf.json", R"({"gateway_conf":{"gateway_ID":"AA555A0000000000"}})");
    writeFile(dir_.path() / "token", metricsToken + "\n");
    context_ = newContext((dir_.path() / "global_conf.json").string(), "packet-forwarder",
                          (dir_.path() / "accounts.sqlite3").string());
    initAccounts(*context_);
    context_->traffic->readGap = std::chrono::milliseconds(0);
    auto server = newHttpServer(4096);
    setupJsonApiRoute(*server, context_);
    mount(*server, "metrics",
          metricsHandler({context_, server->server, server->replies},
                         readMetricsToken((dir_.path() / "token").string())));
    catchErrors(*server, newFailureCatcher());
    running_ = std::make_unique<InProcessServer>(server);
    const std::string reply = call("login/password", R"({"username":"admin","password":"qzvtk"})");
    auth_ = parseJson(bodyOf(reply)).asObject().at("output").asObject().at("auth").asString();
  }

  std::string call(const std::string& name, const std::string& body,
                   std::chrono::seconds timeout = std::chrono::seconds(5)) {
    RawClient client(running_->port(), timeout);
    client.send("POST /rpc/v1/" + name +
                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    return client.readResponse();
  }

  // The output of a guarded procedure that answered 200.
  JsonValue output(const std::string& name, const std::string& input = "{}",
                   std::chrono::seconds timeout = std::chrono::seconds(5)) {
    const std::string reply = call(name, R"({"auth":")" + auth_ + R"(","input":)" + input + "}", timeout);
    EXPECT_EQ(statusOf(reply), 200) << reply;
    return parseJson(bodyOf(reply)).asObject().at("output");
  }

  std::string metrics(const std::string& authorization = "Bearer " + metricsToken) {
    return roundTrip(running_->port(),
                     "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + authorization + "\r\n\r\n");
  }

  // The value of the sample line `series` in the metrics, -1 when there is none.
  double sample(const std::string& series) {
    const std::string text = "\n" + bodyOf(metrics());
    const size_t at = text.find("\n" + series + " ");
    return at == std::string::npos ? -1 : std::stod(text.substr(at + series.size() + 2));
  }

  FakeSystemctl systemctl_;
  FakeJournalctl journal_;
  TempDir dir_;
  std::shared_ptr<Context> context_;
  std::unique_ptr<InProcessServer> running_;
  std::string auth_;
  const int64_t now_ = std::time(nullptr);
};

const JsonValue& at(const JsonValue& value, const char* name) { return value.asObject().at(name); }

std::string series(const JsonValue& traffic, const char* name) {
  return toCompactJson(at(at(traffic, "series"), name));
}

}  // namespace

// Reports are read from where the last read ended; `since` and `points` pick
// and merge them; the log follows its cursor.
TEST_F(OverviewProcedures, trafficAndLogFollowTheJournal) {
  const int64_t first = now_ - 330;
  for (uint32_t i = 0; i < 10; ++i) {
    journal_.append("INFO: [down] PULL_ACK received in 31 ms", first + 30 * i);
    journal_.append(reportLines(first + 30 * i, i + 1), first + 30 * i);
  }
  JsonValue traffic = output("forwarder/traffic");
  const JsonValue& verdict = at(traffic, "verdict");
  EXPECT_EQ(at(verdict, "reports").asString(), "current");
  EXPECT_EQ(at(verdict, "lastReport").asInt(), now_ - 60);
  EXPECT_NEAR(at(verdict, "ageSeconds").asInt(), 60, 2);
  EXPECT_EQ(at(verdict, "intervalSeconds").asInt(), 30);
  EXPECT_TRUE(at(verdict, "receiving").asBool());
  EXPECT_TRUE(at(verdict, "serverAnswering").asBool());
  EXPECT_FALSE(verdict.asObject().contains("message"));
  EXPECT_TRUE(at(traffic, "complete").asBool());
  EXPECT_EQ(series(traffic, "received"), "[1,2,3,4,5,6,7,8,9,10]");
  EXPECT_EQ(series(traffic, "crcOk"), "[50.0,50.0,50.0,50.0,50.0,50.0,50.0,50.0,50.0,50.0]");

  for (uint32_t i = 10; i < 12; ++i) journal_.append(reportLines(first + 30 * i, i + 1), first + 30 * i);
  traffic = output("forwarder/traffic", R"({"since":)" + std::to_string(now_ - 60) + "}");
  EXPECT_FALSE(at(traffic, "complete").asBool());
  EXPECT_EQ(series(traffic, "received"), "[11,12]");
  traffic = output("forwarder/traffic", R"({"points":4})");
  EXPECT_EQ(series(traffic, "intervals"), "[3,3,3,3]");
  EXPECT_EQ(series(traffic, "received"), "[6,15,24,33]");
  const std::vector<std::string> calls = journal_.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NE(calls[0].find("--since=-86400s"), std::string::npos) << calls[0];
  EXPECT_NE(calls[1].find("--after-cursor=c140"), std::string::npos) << calls[1];
  EXPECT_NE(calls[2].find("--after-cursor=c166"), std::string::npos) << calls[2];

  const std::string newest = std::to_string(now_);
  JsonValue log = output("forwarder/log", R"({"lines":2})");
  EXPECT_EQ(toCompactJson(at(log, "lines")), R"([{"time":)" + newest +
                                                 R"(.000165,"priority":6,"text":"# TX errors: 0"},)"
                                                 R"({"time":)" +
                                                 newest + R"(.000166,"priority":6,"text":"##### END #####"}])");
  EXPECT_EQ(at(log, "cursor").asString(), "c166");
  journal_.append("ERROR: [down] no PULL_ACK", now_, 3);
  log = output("forwarder/log", R"({"cursor":"c166"})");
  EXPECT_EQ(toCompactJson(at(log, "lines")),
            R"([{"time":)" + newest + R"(.000167,"priority":3,"text":"ERROR: [down] no PULL_ACK"}])");
  EXPECT_FALSE(at(log, "more").asBool());
  log = output("forwarder/log", R"({"cursor":"c160","lines":3})");
  EXPECT_EQ(at(log, "cursor").asString(), "c163");
  EXPECT_TRUE(at(log, "more").asBool());
}

// The window keeps the last day while the counters keep everything read.
TEST_F(OverviewProcedures, windowRollsOverADay) {
  for (int64_t hour = 0; hour < 30; ++hour) {
    const int64_t time = now_ - 10 - (29 - hour) * 3600;
    journal_.append(reportLines(time, 2), time);
  }
  const JsonValue traffic = output("forwarder/traffic");
  EXPECT_EQ(at(at(traffic, "series"), "time").asArray().size(), 25u);
  EXPECT_EQ(at(at(traffic, "verdict"), "intervalSeconds").asInt(), 3600);
  EXPECT_EQ(sample("nodeconsole_forwarder_rx_packets_total"), 60);
  EXPECT_EQ(sample("nodeconsole_forwarder_rx_crc_ok_packets_total"), 30);
  EXPECT_EQ(sample("nodeconsole_forwarder_reports_total"), 30);
  EXPECT_EQ(sample("nodeconsole_forwarder_last_report_timestamp_seconds"), now_ - 10);
}

TEST_F(OverviewProcedures, forwarderThatStoppedReporting) {
  for (int64_t i = 0; i < 6; ++i) journal_.append(reportLines(now_ - 600 - 150 + 30 * i, 4), now_ - 600);
  const JsonValue verdict = at(output("forwarder/traffic"), "verdict");
  EXPECT_EQ(at(verdict, "reports").asString(), "stale");
  EXPECT_NEAR(at(verdict, "ageSeconds").asInt(), 600, 5);
  EXPECT_TRUE(at(verdict, "receiving").asBool());  // what the last reports said
}

TEST_F(OverviewProcedures, networkServerThatStoppedAnswering) {
  for (int64_t i = 0; i < 6; ++i) {
    const bool answered = i < 3;
    const std::string ack = answered ? "100.00%" : "0.00%";
    journal_.append(reportLines(now_ - 180 + 30 * i, 4, ack, ack), now_ - 180 + 30 * i);
  }
  const JsonValue verdict = at(output("forwarder/traffic"), "verdict");
  EXPECT_EQ(at(verdict, "reports").asString(), "current");
  EXPECT_TRUE(at(verdict, "receiving").asBool());
  EXPECT_FALSE(at(verdict, "serverAnswering").asBool());
  EXPECT_EQ(sample("nodeconsole_forwarder_push_data_ack_ratio"), 0);
}

TEST_F(OverviewProcedures, missingJournalctl) {
  journal_.takeAway();
  const JsonValue verdict = at(output("forwarder/traffic"), "verdict");
  EXPECT_EQ(at(verdict, "reports").asString(), "unknown");
  EXPECT_NE(at(verdict, "message").asString().find("journalctl: not found"), std::string::npos)
      << toCompactJson(verdict);
  const JsonValue log = output("forwarder/log");
  EXPECT_EQ(at(log, "lines").asArray().size(), 0u);
  EXPECT_NE(at(log, "message").asString().find("journalctl: not found"), std::string::npos);
  EXPECT_EQ(sample("nodeconsole_forwarder_journal_up"), 0);
}

// A journal that prints 50 MB is read up to the bound, and its journalctl ended.
TEST_F(OverviewProcedures, journalThatFloods) {
  journal_.append(reportLines(now_ - 30, 1), now_ - 30);
  const size_t reportBytes = journal_.playedBytes();
  journal_.flood(50 * 1024 * 1024);
  // A sixteenth of the bound: the sanitizers' build parses about 1.5 MB a
  // second of a shared machine's core.
  const size_t bound = maxTrafficReadBytes / 16;
  context_->traffic->readLimits.maxBytes = bound;
  const JsonValue traffic = output("forwarder/traffic", "{}", std::chrono::seconds(30));
  EXPECT_EQ(at(at(traffic, "verdict"), "reports").asString(), "current");
  EXPECT_FALSE(journal_.floodFinished());
  // Every report whose last line came within the bound, and no more.
  EXPECT_EQ(context_->traffic->window().totals().reports, bound / reportBytes);
}

TEST_F(OverviewProcedures, inputsOutOfRange) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"("forwarder/traffic","input":{"points":0})", "Field points is not an integer from 1 to 300"},
      {R"("forwarder/traffic","input":{"points":301})", "Field points is not an integer from 1 to 300"},
      {R"("forwarder/traffic","input":{"since":"yesterday"})", "Field since is not an integer"},
      {R"("forwarder/traffic","input":[])", "Field input is not an object"},
      {R"("forwarder/log","input":{"lines":501})", "Field lines is not an integer from 1 to 500"},
      {R"("forwarder/log","input":{"cursor":5})", "Field cursor is not a journal cursor"},
  };
  for (const auto& [body, message] : cases) {
    const std::string reply = call("", R"({"auth":")" + auth_ + R"(","path":)" + body + "}");
    EXPECT_EQ(statusOf(reply), 400) << body;
    EXPECT_EQ(bodyOf(reply), R"({"error":{"code":23001,"message":")" + message + R"("}})") << body;
  }
  EXPECT_TRUE(journal_.calls().empty());
}

TEST_F(OverviewProcedures, metricsNeedTheToken) {
  for (const std::string authorization : {"Bearer fleet-7f3", "Bearer fleet-7f3a0", "Basic ZmxlZXQtN2YzYQ==", ""}) {
    const std::string reply = metrics(authorization);
    EXPECT_EQ(statusOf(reply), 401) << authorization;
    EXPECT_NE(reply.find("\r\nWww-Authenticate: Bearer\r\n"), std::string::npos) << reply;
  }
  const std::string reply = metrics("bearer  " + metricsToken);
  EXPECT_EQ(statusOf(reply), 200);
  EXPECT_NE(reply.find("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(reply.find("\nnodeconsole_forwarder_unit_state{state=\"inactive\"} 1\n"), std::string::npos);
  call("login/password", R"({"username":"admin","password":"wrong"})");
  EXPECT_EQ(sample("nodeconsole_login_refusals_total{reason=\"wrong_password\"}"), 1);
  EXPECT_GE(sample("nodeconsole_http_requests_total{class=\"4xx\"}"), 5);
  EXPECT_GE(sample("nodeconsole_http_connections_open"), 1);
  EXPECT_EQ(
      statusOf(roundTrip(running_->port(), "POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n")),
      405);
}

// Each fact the system cannot give is null and says why; none fails the call.
TEST_F(OverviewProcedures, systemInfo) {
  const JsonValue info = output("system/info");
  EXPECT_EQ(at(info, "gatewayId").asString(), "AA555A0000000000");
  EXPECT_EQ(at(info, "version").asString(), NODECONSOLE_VERSION);
  EXPECT_TRUE(at(info, "tlsFingerprint").isNull());
  EXPECT_GT(at(at(info, "memory"), "totalBytes").asInt(), 0);
  EXPECT_GT(at(at(info, "disk"), "sizeBytes").asInt(), 0);
  const JsonArray& interfaces = at(info, "interfaces").asArray();
  const auto loopback = std::find_if(interfaces.begin(), interfaces.end(), [](const JsonValue& interface) {
    return at(interface, "name") == JsonValue("lo");
  });
  ASSERT_NE(loopback, interfaces.end()) << toCompactJson(at(info, "interfaces"));
  EXPECT_NE(
      toCompactJson(at(*loopback, "addresses")).find(R"({"family":"ipv4","address":"127.0.0.1","prefixLength":8})"),
      std::string::npos);
  const JsonValue& clock = at(info, "clock");
  EXPECT_TRUE(at(clock, "synchronized").isBool() || !at(clock, "message").asString().empty()) << toCompactJson(clock);

  writeFile(dir_.path() / "global_conf.json", "not JSON");
  EXPECT_TRUE(at(output("system/info"), "gatewayId").isNull());
}

}  // namespace nc::test
