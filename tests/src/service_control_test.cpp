#include <gtest/gtest.h>

#include <csignal>

#include <asio/detached.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "src/service_control.h"
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

TEST(serviceControl, eachVerbRunsItsSystemctlCommand) {
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

TEST(serviceControl, exitCodes) {
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
  EXPECT_EQ(failureOf(io, run("exit 3")).exitCode, 3);
  EXPECT_EQ(failureOf(io, run("exit 3")).command, "exit 3");
  EXPECT_EQ(failureOf(io, run("no-such-command-anywhere 2>/dev/null")).exitCode, 127);
  runAwaitable(io, run("true"));
}

TEST(serviceControl, unitNamesCannotInjectShellSyntax) {
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

TEST(serviceControl, theLoopRunsWhileACommandWaits) {
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
