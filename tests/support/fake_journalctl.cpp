#include "support/fake_journalctl.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "utils/json.h"

namespace nc::test {

FakeJournalctl::FakeJournalctl() : oldPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
  writeFile(dir_.path() / "journalctl", readFile(sourceDir() / "tests" / "support" / "fake_journalctl.sh"));
  ::chmod((dir_.path() / "journalctl").c_str(), 0755);
  ::setenv("PATH", (dir_.path().string() + ":" + oldPath_).c_str(), 1);
}

FakeJournalctl::~FakeJournalctl() { ::setenv("PATH", oldPath_.c_str(), 1); }

void FakeJournalctl::append(const std::string& message, int64_t timeSeconds, int priority) {
  ++entries_;
  JsonObject entry{{"__CURSOR", "c" + std::to_string(entries_)},
                   {"__REALTIME_TIMESTAMP", std::to_string(timeSeconds * 1'000'000 + static_cast<int64_t>(entries_))},
                   {"PRIORITY", std::to_string(priority)},
                   {"MESSAGE", message}};
  std::ofstream(dir_.path() / "entries", std::ios::app) << toCompactJson(JsonValue(std::move(entry))) << "\n";
}

void FakeJournalctl::append(const std::vector<std::string>& messages, int64_t timeSeconds) {
  for (const std::string& message : messages) append(message, timeSeconds);
}

size_t FakeJournalctl::playedBytes() const { return readFile(dir_.path() / "entries").size(); }

std::vector<std::string> FakeJournalctl::calls() const {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(dir_.path() / "calls")) return lines;
  std::istringstream in(readFile(dir_.path() / "calls"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void FakeJournalctl::flood(size_t bytes) { writeFile(dir_.path() / "flood", std::to_string(bytes)); }

bool FakeJournalctl::floodFinished() const { return std::filesystem::exists(dir_.path() / "flood-done"); }

void FakeJournalctl::takeAway() {
  std::filesystem::remove(dir_.path() / "journalctl");
  ::setenv("PATH", dir_.path().c_str(), 1);
}

std::map<std::string, std::string> FakeJournalctl::environment() const {
  return {{"PATH", std::string(std::getenv("PATH") ? std::getenv("PATH") : "")}};
}

std::vector<std::string> reportLines(int64_t time, uint32_t received, const std::string& pushAck,
                                     const std::string& pullAck) {
  const std::time_t at = static_cast<std::time_t>(time);
  char head[64];
  std::strftime(head, sizeof head, "##### %Y-%m-%d %H:%M:%S GMT #####", std::gmtime(&at));
  const std::string rx = std::to_string(received);
  return {head,
          "### [UPSTREAM] ###",
          "# RF packets received by concentrator: " + rx,
          "# CRC_OK: 50.00%, CRC_FAIL: 50.00%, NO_CRC: 0.00%",
          "# RF packets forwarded: " + rx + " (230 bytes)",
          "# PUSH_DATA datagrams sent: 2 (1234 bytes)",
          "# PUSH_DATA acknowledged: " + pushAck,
          "### [DOWNSTREAM] ###",
          "# PULL_DATA sent: 3 (" + pullAck + " acknowledged)",
          "# PULL_RESP(onse) datagrams received: 1 (145 bytes)",
          "# RF packets sent to concentrator: 1 (23 bytes)",
          "# TX errors: 0",
          "##### END #####"};
}

}  // namespace nc::test
