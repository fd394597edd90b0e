// A fake `systemctl` placed first on PATH (tests/support/fake_systemctl.sh):
// it records each call, can be told to fail, to be killed by a signal, to
// sleep or to print, verb by verb, and keeps a small state machine per unit that `show`
// answers from.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace nc::test {

class FakeSystemctl {
 public:
  // Also puts the fake first on this process's PATH, for in-process tests.
  FakeSystemctl();
  ~FakeSystemctl();

  // Lines "begin <args>" and "end <args>" of the commands other than `show`,
  // in order.
  std::vector<std::string> log() const;
  // Just the argument lists of those commands, in order.
  std::vector<std::string> calls() const;
  // The argument lists of the `show` queries, in order.
  std::vector<std::string> queries() const;
  void exitWith(const std::string& verb, int status);
  void killWith(const std::string& verb, int signal);
  void sleepFor(const std::string& verb, double seconds);
  // The verb, and what it runs, ignore SIGTERM.
  void ignoreTerm(const std::string& verb);
  // The verb writes `out` to its standard output, then `err` to its standard error.
  void printOnCall(const std::string& verb, const std::string& out, const std::string& err);

  // The next `count` starts or restarts of `unit` exit 1 with systemd's job
  // failure message and leave the unit failed.
  void failNextRestarts(const std::string& unit, int count);
  // After the next successful start, `unit` fails `seconds` later; with
  // `autoRestart` systemd restarts it at once instead, and it fails again
  // every `seconds` (its restart counter moves each time).
  void failAfterStart(const std::string& unit, double seconds, bool autoRestart = false);
  // `show` reports the unit as not found.
  void forgetUnit(const std::string& unit);
  // Puts `unit` into a state as if it had been there since `sinceMs` (ms since
  // the epoch; 0: never changed).
  void setState(const std::string& unit, const std::string& active, const std::string& sub, long long sinceMs = 0);

  // PATH for a child process that should find the fake.
  std::map<std::string, std::string> environment() const;

 private:
  std::filesystem::path unitDir(const std::string& unit) const;
  std::vector<std::string> journal(const std::string& name) const;

  TempDir dir_;
  std::string oldPath_;
};

}  // namespace nc::test
