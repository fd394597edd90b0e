#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <asio/detached.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "src/units/systemctl.h"
#include "support/fake_systemctl.h"
#include "support/run_awaitable.h"

namespace nc::test {
namespace {

ExecError failureOf(asio::io_context& io, asio::awaitable<void> task) {
  try {
    runAwaitable(io, std::move(task));
  } catch (const ExecError& e) {
    return e;
  }
  throw std::runtime_error("no ExecError");
}

}  // namespace

TEST(Systemctl, eachVerbRunsItsSystemctlCommand) {
  FakeSystemctl fake;
  asio::io_context io;
  runAwaitable(io, systemctlRestart("packet-forwarder"));
  runAwaitable(io, systemctlStart("ssh"));
  runAwaitable(io, systemctlEnable("ssh"));
  runAwaitable(io, systemctlStop("ssh"));
  runAwaitable(io, systemctlDisable("ssh"));
  EXPECT_EQ(fake.calls(), (std::vector<std::string>{"restart packet-forwarder", "start ssh", "enable ssh", "stop ssh",
                                                    "disable ssh"}));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A command past its deadline is ended, SIGTERM first and SIGKILL if that is
// ignored, and fails as timed out; one that exits 124 by itself does not.
TEST(Systemctl, commandDeadline) {
  using namespace std::chrono_literals;
  FakeSystemctl fake;
  asio::io_context io;
  setCommandDeadline({300ms, 400ms});
  fake.sleepFor("stop", 30);
  auto start = std::chrono::steady_clock::now();
  ExecError stopped = failureOf(io, systemctlStop("ssh"));
  EXPECT_STREQ(stopped.what(), "systemctl did not finish within 0.3 s and was stopped");
  EXPECT_TRUE(stopped.timedOut);
  EXPECT_EQ(stopped.exitCode, commandTimedOut);
  EXPECT_EQ(stopped.command, "systemctl stop ssh");
  EXPECT_GT(secondsSince(start), 0.25);
  EXPECT_LT(secondsSince(start), 1.5);

  fake.sleepFor("disable", 30);
  fake.ignoreTerm("disable");
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(failureOf(io, systemctlDisable("ssh")).exitCode, commandTimedOut);
  EXPECT_GT(secondsSince(start), 0.65);
  EXPECT_LT(secondsSince(start), 2.5);
  // Neither ran on: the whole group was ended, the sleep with the shell.
  EXPECT_EQ(fake.log(), (std::vector<std::string>{"begin stop ssh", "begin disable ssh"}));

  fake.exitWith("start", 124);
  ExecError byItself = failureOf(io, systemctlStart("ssh"));
  EXPECT_STREQ(byItself.what(), "Non-zero exit code");
  EXPECT_FALSE(byItself.timedOut);
  setCommandDeadline(defaultCommandDeadline);
}

TEST(Systemctl, exitCodes) {
  FakeSystemctl fake;
  asio::io_context io;
  fake.exitWith("start", 5);
  ExecError failed = failureOf(io, systemctlStart("ssh"));
  EXPECT_STREQ(failed.what(), "Non-zero exit code");
  EXPECT_EQ(failed.command, "systemctl start ssh");
  EXPECT_EQ(failed.exitCode, 5);
  EXPECT_EQ(failed.output, "");

  fake.killWith("stop", SIGKILL);
  EXPECT_EQ(failureOf(io, systemctlStop("ssh")).exitCode, 137);

  // Without systemctl on the path the shell itself answers 127 and says why.
  TempDir emptyPath;
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", emptyPath.path().c_str(), 1);
  ExecError missing = failureOf(io, systemctlEnable("ssh"));
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(missing.exitCode, 127);
  EXPECT_EQ(missing.command, "systemctl enable ssh");
  EXPECT_NE(missing.output.find("systemctl"), std::string::npos) << missing.output;
  EXPECT_NE(missing.output.find("not found"), std::string::npos) << missing.output;
}

TEST(Systemctl, failuresKeepTheCommandsOutputUpToTheBound) {
  FakeSystemctl fake;
  asio::io_context io;
  fake.printOnCall("restart", "to stdout\n", "to stderr\n");
  fake.exitWith("restart", 1);
  EXPECT_EQ(failureOf(io, systemctlRestart("unit")).output, "to stdout\nto stderr\n");

  // What a command that succeeds prints is dropped with its success.
  fake.printOnCall("start", "Created symlink.\n", "");
  runAwaitable(io, systemctlStart("ssh"));

  // The largest size passes whole; beyond it the first bytes are kept, even
  // past what a pipe holds, without the command stalling on a full pipe.
  for (size_t size : {maxCommandOutput - 1, maxCommandOutput, maxCommandOutput + 1, size_t{200000}}) {
    std::string printed;
    for (size_t i = 0; i < size; ++i) printed += static_cast<char>('a' + i % 26);
    fake.printOnCall("stop", printed, "");
    fake.exitWith("stop", 2);
    ExecError failed = failureOf(io, systemctlStop("ssh"));
    EXPECT_EQ(failed.exitCode, 2) << size;
    EXPECT_EQ(failed.output, printed.substr(0, maxCommandOutput)) << size;
  }
}

// A query's failure is an answer: it comes back with its output, not raised.
TEST(Systemctl, showHandsBackHowItEnded) {
  FakeSystemctl fake;
  asio::io_context io;
  fake.setState("it's", "active", "running");
  CommandResult shown = runAwaitable(io, systemctlShow("it's", "--property=ActiveState"));
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_NE(shown.output.find("\nActiveState=active\n"), std::string::npos) << shown.output;
  EXPECT_EQ(fake.queries(), std::vector<std::string>{"show it's --property=ActiveState"});
  fake.printOnCall("show", "", "Failed to get properties: Access denied\n");
  fake.exitWith("show", 1);
  CommandResult refused = runAwaitable(io, systemctlShow("ssh", ""));
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.output, "Failed to get properties: Access denied\n");
  EXPECT_TRUE(fake.calls().empty());
}

TEST(Systemctl, firstLineOf) {
  EXPECT_EQ(firstLineOf("one\ntwo\n"), "one");
  EXPECT_EQ(firstLineOf("\n  \r\n\t Failed to connect to bus: Host is down \r\nmore"),
            "Failed to connect to bus: Host is down");
  EXPECT_EQ(firstLineOf("no line break"), "no line break");
  EXPECT_EQ(firstLineOf(" \n\n"), "");
}

TEST(Systemctl, unitNamesCannotInjectShellSyntax) {
  FakeSystemctl fake;
  TempDir dir;
  auto marker = dir.path() / "injected";
  asio::io_context io;
  std::string unit = "x; touch " + marker.string() + " $(touch " + marker.string() + ") 'q'";
  runAwaitable(io, systemctlRestart(unit));
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_EQ(fake.calls(), std::vector<std::string>{"restart " + unit});

  fake.exitWith("restart", 1);
  EXPECT_EQ(failureOf(io, systemctlRestart(unit)).command, "systemctl restart " + unit);
}

TEST(Systemctl, theLoopRunsWhileACommandWaits) {
  FakeSystemctl fake;
  fake.sleepFor("restart", 0.5);
  asio::io_context io;
  int ticks = 0;
  auto ticker = [&]() -> asio::awaitable<void> {
    asio::steady_timer timer(io);
    for (int i = 0; i < 100; ++i) {
      timer.expires_after(std::chrono::milliseconds(10));
      co_await timer.async_wait(asio::use_awaitable);
      ++ticks;
    }
  };
  asio::co_spawn(io, ticker(), asio::detached);
  runAwaitable(io, systemctlRestart("slow"));
  EXPECT_GE(ticks, 10);
}

}  // namespace nc::test
