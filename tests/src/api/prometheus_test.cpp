// The metrics endpoint against Debian's real Prometheus: promtool checks the
// text, and a Prometheus server scrapes the service with the bearer token.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "support/fake_journalctl.h"
#include "support/fake_systemctl.h"
#include "support/test_support.h"
#include "utils/json.h"

extern char** environ;

namespace nc::test {
namespace {

const std::string token = "fleet-token-7f3a";

bool onPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A process of this test, its output in `log`, ended by its pid when the
// object goes away.
class Child {
 public:
  Child(std::vector<std::string> args, const std::filesystem::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    waitForChild(pid_, std::chrono::steady_clock::now() + std::chrono::seconds(10));
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// The one value of an instant query, empty while Prometheus has none.
std::string queryValue(uint16_t port, const std::string& query) {
  std::string reply;
  try {
    RawClient client(port, std::chrono::seconds(5));
    client.send("GET /api/v1/query?query=" + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    reply = client.readAll();
  } catch (const std::exception&) {
    return "";  // not listening yet
  }
  if (statusOf(reply) != 200) return "";
  const JsonValue answer = parseJson(bodyOf(reply));
  const JsonArray& result = answer.asObject().at("data").asObject().at("result").asArray();
  if (result.size() != 1) return "";
  return result[0].asObject().at("value").asArray().at(1).asString();
}

}  // namespace

TEST(Prometheus, scrapesTheService) {
  if (!onPath("prometheus") || !onPath("promtool"))
    GTEST_SKIP() << "Debian's prometheus package is missing (scripts/install-deps.sh installs it)";
  FakeSystemctl systemctl;
  FakeJournalctl journal;
  const int64_t now = std::time(nullptr);
  uint32_t played = 0;
  for (uint32_t i = 0; i < 5; ++i) {
    journal.append(reportLines(now - 150 + 30 * i, 3 + 2 * i), now - 150 + 30 * i);
    played += 3 + 2 * i;
  }
  TempDir dir;
  writeFile(dir.path() / "global_conf.json", R"({"gateway_conf":{}})");
  writeFile(dir.path() / "token", token + "\n");
  const uint16_t port = freePort();
  ServiceProcess service({"--port", std::to_string(port), "-f", (dir.path() / "global_conf.json").string(), "-d",
                          (dir.path() / "db.sqlite3").string(), "--metricsTokenFile", (dir.path() / "token").string()},
                         journal.environment());

  const std::string scrape =
      roundTrip(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token + "\r\n\r\n");
  ASSERT_EQ(statusOf(scrape), 200) << scrape;
  writeFile(dir.path() / "metrics.txt", bodyOf(scrape));
  const std::string check = (dir.path() / "promtool.txt").string();
  EXPECT_EQ(
      std::system(
          ("promtool check metrics < " + (dir.path() / "metrics.txt").string() + " > " + check + " 2>&1").c_str()),
      0)
      << readFile(check);
  EXPECT_EQ(readFile(check), "");  // no lint finding either

  const uint16_t prometheusPort = freePort();
  writeFile(dir.path() / "prometheus.yml",
            "global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
            "scrape_configs:\n"
            "  - job_name: nodeconsole\n"
            "    authorization: {type: Bearer, credentials_file: " +
                (dir.path() / "token").string() +
                "}\n"
                "    static_configs: [{targets: ['127.0.0.1:" +
                std::to_string(port) + "']}]\n");
  Child prometheus({"prometheus", "--config.file=" + (dir.path() / "prometheus.yml").string(),
                    "--storage.tsdb.path=" + (dir.path() / "tsdb").string(),
                    "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort)},
                   dir.path() / "prometheus.log");
  ASSERT_GT(prometheus.pid(), 0);
  std::string up, received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((up != "1" || received != std::to_string(played)) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    up = queryValue(prometheusPort, "up%7Bjob%3D%22nodeconsole%22%7D");
    received = queryValue(prometheusPort, "nodeconsole_forwarder_rx_packets_total%7Bjob%3D%22nodeconsole%22%7D");
  }
  EXPECT_EQ(up, "1") << readFile(dir.path() / "prometheus.log");
  EXPECT_EQ(received, std::to_string(played));
}

}  // namespace nc::test
