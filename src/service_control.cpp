#include "src/service_control.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

extern char** environ;

namespace nc {
namespace {

// Polling for the child's end keeps working on kernels without pidfd; the
// interval grows so a long restart costs few wake-ups.
constexpr std::chrono::milliseconds firstPollInterval{1};
constexpr std::chrono::milliseconds longestPollInterval{25};

// Starts /bin/sh -c line; -1 when it cannot be started. Descriptors other than
// the standard three are closed in the child, so a unit started from it never
// holds the service's sockets.
pid_t spawnShell(const std::string& line) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::string shell = "/bin/sh", flag = "-c", command = line;
  char* argv[] = {shell.data(), flag.data(), command.data(), nullptr};
  pid_t pid = -1;
  int failed = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int64_t exitCodeOf(int status) {
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

asio::awaitable<int64_t> waitForExit(pid_t pid) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  auto interval = firstPollInterval;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) co_return exitCodeOf(status);
    if (done < 0) co_return -1;
    timer.expires_after(interval);
    co_await timer.async_wait(asio::use_awaitable);
    interval = std::min(interval * 2, longestPollInterval);
  }
}

// `command` is what failures report; `line` is what the shell runs.
asio::awaitable<void> runShell(std::string command, std::string line) {
  pid_t pid = spawnShell(line);
  int64_t exitCode = pid < 0 ? -1 : co_await waitForExit(pid);
  if (exitCode != 0) throw ExecError(std::move(command), exitCode);
}

asio::awaitable<void> systemctl(const char* verb, const std::string& unit) {
  std::string prefix = std::string("systemctl ") + verb + " ";
  co_await runShell(prefix + unit, prefix + shellQuote(unit));
}

}  // namespace

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

asio::awaitable<void> run(std::string commandLine) { co_await runShell(commandLine, commandLine); }

asio::awaitable<void> systemctlRestart(std::string unit) { co_await systemctl("restart", unit); }
asio::awaitable<void> systemctlStart(std::string unit) { co_await systemctl("start", unit); }
asio::awaitable<void> systemctlEnable(std::string unit) { co_await systemctl("enable", unit); }
asio::awaitable<void> systemctlStop(std::string unit) { co_await systemctl("stop", unit); }
asio::awaitable<void> systemctlDisable(std::string unit) { co_await systemctl("disable", unit); }

AsyncMutex& serviceCommandMutex() {
  static AsyncMutex mutex;
  return mutex;
}

}  // namespace nc

