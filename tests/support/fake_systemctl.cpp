#include "support/fake_systemctl.h"

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

namespace nc::test {

FakeSystemctl::FakeSystemctl() : oldPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
  writeFile(dir_.path() / "systemctl", readFile(sourceDir() / "tests" / "support" / "fake_systemctl.sh"));
  ::chmod((dir_.path() / "systemctl").c_str(), 0755);
  ::setenv("PATH", (dir_.path().string() + ":" + oldPath_).c_str(), 1);
}

FakeSystemctl::~FakeSystemctl() { ::setenv("PATH", oldPath_.c_str(), 1); }

std::vector<std::string> FakeSystemctl::journal(const std::string& name) const {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(dir_.path() / name)) return lines;
  std::istringstream in(readFile(dir_.path() / name));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> FakeSystemctl::log() const { return journal("log"); }

std::vector<std::string> FakeSystemctl::calls() const {
  std::vector<std::string> result;
  for (const auto& line : log())
    if (line.rfind("begin ", 0) == 0) result.push_back(line.substr(6));
  return result;
}

std::vector<std::string> FakeSystemctl::queries() const {
  std::vector<std::string> result;
  for (const auto& line : journal("queries"))
    if (line.rfind("begin ", 0) == 0) result.push_back(line.substr(6));
  return result;
}

void FakeSystemctl::exitWith(const std::string& verb, int status) {
  writeFile(dir_.path() / ("exit-" + verb), std::to_string(status));
}

void FakeSystemctl::killWith(const std::string& verb, int signal) {
  writeFile(dir_.path() / ("signal-" + verb), std::to_string(signal));
}

void FakeSystemctl::sleepFor(const std::string& verb, double seconds) {
  writeFile(dir_.path() / ("sleep-" + verb), std::to_string(seconds));
}

void FakeSystemctl::ignoreTerm(const std::string& verb) { writeFile(dir_.path() / ("ignoreterm-" + verb), ""); }

void FakeSystemctl::printOnCall(const std::string& verb, const std::string& out, const std::string& err) {
  writeFile(dir_.path() / ("stdout-" + verb), out);
  writeFile(dir_.path() / ("stderr-" + verb), err);
}

std::filesystem::path FakeSystemctl::unitDir(const std::string& unit) const {
  auto path = dir_.path() / "units" / unit;
  std::filesystem::create_directories(path);
  return path;
}

void FakeSystemctl::failNextRestarts(const std::string& unit, int count) {
  writeFile(unitDir(unit) / "failing-restarts", std::to_string(count));
}

void FakeSystemctl::failAfterStart(const std::string& unit, double seconds, bool autoRestart) {
  writeFile(unitDir(unit) / "fail-after", std::to_string(static_cast<long long>(seconds * 1000)));
  if (autoRestart)
    writeFile(unitDir(unit) / "auto-restart", "");
  else
    std::filesystem::remove(unitDir(unit) / "auto-restart");
}

void FakeSystemctl::forgetUnit(const std::string& unit) { writeFile(unitDir(unit) / "unknown", ""); }

void FakeSystemctl::setState(const std::string& unit, const std::string& active, const std::string& sub,
                             long long sinceMs) {
  writeFile(unitDir(unit) / "state", active + " " + sub + (sinceMs ? " " + std::to_string(sinceMs) : "") + "\n");
}

std::map<std::string, std::string> FakeSystemctl::environment() const {
  return {{"PATH", dir_.path().string() + ":" + oldPath_}};
}

}  // namespace nc::test
