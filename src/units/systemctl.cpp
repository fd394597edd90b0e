#include "src/units/systemctl.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
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

CommandDeadline& commandDeadline() {
  static CommandDeadline deadline;
  return deadline;
}

// The read end of the pipe that carries a child's standard output and error.
class OutputPipe {
 public:
  OutputPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) == 0) {
      readEnd_ = ends[0];
      writeEnd_ = ends[1];
      ::fcntl(readEnd_, F_SETFL, O_NONBLOCK);
    }
  }
  ~OutputPipe() {
    closeWriteEnd();
    if (readEnd_ >= 0) ::close(readEnd_);
  }
  OutputPipe(const OutputPipe&) = delete;
  OutputPipe& operator=(const OutputPipe&) = delete;

  int writeEnd() const { return writeEnd_; }
  // Once the child holds its copy: the pipe reports its end only when no
  // writer is left.
  void closeWriteEnd() {
    if (writeEnd_ >= 0) ::close(writeEnd_);
    writeEnd_ = -1;
  }
  // Takes what the child has written so far without waiting. Beyond the
  // bound the bytes are read and dropped, so a talkative child never blocks
  // on a full pipe.
  void drainInto(std::string& kept) {
    char chunk[4096];
    ssize_t n;
    while (readEnd_ >= 0 && (n = ::read(readEnd_, chunk, sizeof chunk)) > 0) {
      const size_t room = maxCommandOutput - std::min(kept.size(), maxCommandOutput);
      kept.append(chunk, std::min(room, static_cast<size_t>(n)));
    }
  }

 private:
  int readEnd_ = -1;
  int writeEnd_ = -1;
};

// Starts /bin/sh -c line with its standard output and error on `output`; -1
// when it cannot be started. Descriptors other than the standard three are
// closed in the child, so a unit started from it never holds the service's
// sockets.
pid_t spawnShell(const std::string& line, int output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
  }
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // A process group of its own, so that a deadline ends the shell and the
  // command it started together.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::string shell = "/bin/sh", flag = "-c", command = line;
  char* argv[] = {shell.data(), flag.data(), command.data(), nullptr};
  pid_t pid = -1;
  int failed = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int64_t exitCodeOf(int status) {
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// The child's exit code, or nullopt if it still runs at `deadline`.
asio::awaitable<std::optional<int64_t>> waitForExit(pid_t pid, OutputPipe& pipe, std::string& output,
                                                    std::chrono::steady_clock::time_point deadline) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  auto interval = firstPollInterval;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    pipe.drainInto(output);
    if (done == pid) co_return exitCodeOf(status);
    if (done < 0) co_return -1;
    if (std::chrono::steady_clock::now() >= deadline) co_return std::nullopt;
    timer.expires_after(interval);
    co_await timer.async_wait(asio::use_awaitable);
    interval = std::min(interval * 2, longestPollInterval);
  }
}

// Waits until no process of the group is left, at most until `deadline`.
asio::awaitable<void> waitForGroupEnd(pid_t group, std::chrono::steady_clock::time_point deadline) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  while (::kill(-group, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
    timer.expires_after(longestPollInterval);
    co_await timer.async_wait(asio::use_awaitable);
  }
}

// The child's exit code, or nullopt when it ran past the command deadline.
// Then its whole group (the shell may be gone while the command it started
// runs on) is asked to end, then forced, and the shell is reaped either way
// so that no zombie stays.
asio::awaitable<std::optional<int64_t>> waitWithinDeadline(pid_t pid, OutputPipe& pipe, std::string& output) {
  const CommandDeadline limits = commandDeadline();
  auto now = std::chrono::steady_clock::now();
  if (auto exitCode = co_await waitForExit(pid, pipe, output, now + limits.timeout)) co_return exitCode;
  ::kill(-pid, SIGTERM);
  const auto graceEnd = std::chrono::steady_clock::now() + limits.killGrace;
  const bool shellEnded = (co_await waitForExit(pid, pipe, output, graceEnd)).has_value();
  co_await waitForGroupEnd(pid, graceEnd);
  ::kill(-pid, SIGKILL);
  if (!shellEnded) co_await waitForExit(pid, pipe, output, std::chrono::steady_clock::time_point::max());
  co_return std::nullopt;
}

asio::awaitable<CommandResult> runCommand(const std::string& line) {
  OutputPipe pipe;
  pid_t pid = spawnShell(line, pipe.writeEnd());
  pipe.closeWriteEnd();
  CommandResult result;
  if (pid < 0) co_return result;
  std::optional<int64_t> exitCode = co_await waitWithinDeadline(pid, pipe, result.output);
  result.timedOut = !exitCode;
  result.exitCode = exitCode.value_or(commandTimedOut);
  co_return result;
}

// "120" for 120 s, "1.5" for 1500 ms.
std::string secondsText(std::chrono::milliseconds duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::chrono::duration<double>(duration).count());
  return text;
}

// `command` is what failures report; `line` is what the shell runs.
asio::awaitable<void> runShell(std::string command, std::string line) {
  // Read where the command's own wait reads it, before anything is awaited.
  const std::chrono::milliseconds deadline = commandDeadline().timeout;
  CommandResult result = co_await runCommand(line);
  if (result.timedOut) {
    ExecError error(std::move(command), result.exitCode, std::move(result.output),
                    "systemctl did not finish within " + secondsText(deadline) + " s and was stopped");
    error.timedOut = true;
    throw error;
  }
  if (result.exitCode != 0) throw ExecError(std::move(command), result.exitCode, std::move(result.output));
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

asio::awaitable<CommandResult> systemctlShow(std::string unit, std::string options) {
  co_return co_await runCommand("systemctl show " + shellQuote(unit) + " " + options);
}

std::string firstLineOf(std::string_view text) {
  constexpr std::string_view blank = " \t\r";
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    auto first = line.find_first_not_of(blank);
    if (first != std::string_view::npos) {
      line = line.substr(first);
      return std::string(line.substr(0, line.find_last_not_of(blank) + 1));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return "";
}

std::string commandFailureText(const ExecError& error) {
  if (error.timedOut) return error.what();
  std::string line = firstLineOf(error.output);
  return line.empty() ? "systemctl ended with status " + std::to_string(error.exitCode) : line;
}

asio::awaitable<void> systemctlRestart(std::string unit) { co_await systemctl("restart", unit); }
asio::awaitable<void> systemctlStart(std::string unit) { co_await systemctl("start", unit); }
asio::awaitable<void> systemctlEnable(std::string unit) { co_await systemctl("enable", unit); }
asio::awaitable<void> systemctlStop(std::string unit) { co_await systemctl("stop", unit); }
asio::awaitable<void> systemctlDisable(std::string unit) { co_await systemctl("disable", unit); }

void setCommandDeadline(CommandDeadline deadline) { commandDeadline() = deadline; }

AsyncMutex& serviceCommandMutex() {
  static AsyncMutex mutex;
  return mutex;
}

}  // namespace nc

