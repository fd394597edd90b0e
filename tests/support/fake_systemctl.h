// A fake `systemctl` placed first on PATH: it records each call, and can be
// told to fail, to be killed by a signal, to sleep or to print, verb by verb.
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

  // Lines "begin <args>" and "end <args>", in order.
  std::vector<std::string> log() const;
  // Just the argument lists of the calls, in order.
  std::vector<std::string> calls() const;
  void exitWith(const std::string& verb, int status);
  void killWith(const std::string& verb, int signal);
  void sleepFor(const std::string& verb, double seconds);
  // The verb writes `out` to its standard output, then `err` to its standard error.
  void printOnCall(const std::string& verb, const std::string& out, const std::string& err);
  // PATH for a child process that should find the fake.
  std::map<std::string, std::string> environment() const;

 private:
  TempDir dir_;
  std::string oldPath_;
};

}  // namespace nc::test
