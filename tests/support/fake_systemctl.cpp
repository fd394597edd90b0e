#include "support/fake_systemctl.h"

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

namespace nc::test {
namespace {

const char* script = R"SH(#!/bin/sh
dir=$(dirname "$0")
echo "begin $*" >> "$dir/log"
verb=$1
if [ -f "$dir/sleep-$verb" ]; then sleep "$(cat "$dir/sleep-$verb")"; fi
if [ -f "$dir/stdout-$verb" ]; then cat "$dir/stdout-$verb"; fi
if [ -f "$dir/stderr-$verb" ]; then cat "$dir/stderr-$verb" >&2; fi
echo "end $*" >> "$dir/log"
if [ -f "$dir/signal-$verb" ]; then kill -"$(cat "$dir/signal-$verb")" $$; fi
if [ -f "$dir/exit-$verb" ]; then exit "$(cat "$dir/exit-$verb")"; fi
exit 0
)SH";

}  // namespace

FakeSystemctl::FakeSystemctl() : oldPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
  writeFile(dir_.path() / "systemctl", script);
  ::chmod((dir_.path() / "systemctl").c_str(), 0755);
  ::setenv("PATH", (dir_.path().string() + ":" + oldPath_).c_str(), 1);
}

FakeSystemctl::~FakeSystemctl() { ::setenv("PATH", oldPath_.c_str(), 1); }

std::vector<std::string> FakeSystemctl::log() const {
  std::vector<std::string> lines;
  std::istringstream in(readFile(dir_.path() / "log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> FakeSystemctl::calls() const {
  std::vector<std::string> result;
  for (const auto& line : log())
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

void FakeSystemctl::printOnCall(const std::string& verb, const std::string& out, const std::string& err) {
  writeFile(dir_.path() / ("stdout-" + verb), out);
  writeFile(dir_.path() / ("stderr-" + verb), err);
}

std::map<std::string, std::string> FakeSystemctl::environment() const {
  return {{"PATH", dir_.path().string() + ":" + oldPath_}};
}

}  // namespace nc::test
