#include "src/units/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <optional>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

extern char** environ;

namespace nc {
namespace {

// Polling for the child's end keeps working on kernels without pidfd; the
// interval grows so a long restart costs few wake-ups, and falls back to the
// first one while output flows, so a talkative child is read promptly.
constexpr std::chrono::milliseconds firstPollInterval{1};
constexpr std::chrono::milliseconds longestPollInterval{25};

// One look at the pipe takes at most this much: a child that writes as fast
// as the service reads would otherwise hold the event loop in one look.
constexpr size_t maxBytesPerLook = 256 * 1024;

// The read end of the pipe that carries a child's standard output and error.
class OutputPipe {
 public:
  explicit OutputPipe(OutputSink sink) : sink_(std::move(sink)) {
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
  bool refused() const { return refused_; }
  // Hands what the child has written so far to the sink without waiting;
  // whether anything came. Once the sink has refused, bytes are read and
  // dropped, so a dying child never blocks on a full pipe.
  bool look() {
    char chunk[4096];
    size_t taken = 0;
    ssize_t n;
    while (readEnd_ >= 0 && taken < maxBytesPerLook && (n = ::read(readEnd_, chunk, sizeof chunk)) > 0) {
      taken += static_cast<size_t>(n);
      if (!refused_) refused_ = !sink_(std::string_view(chunk, static_cast<size_t>(n)));
    }
    return taken > 0;
  }

 private:
  OutputSink sink_;
  int readEnd_ = -1;
  int writeEnd_ = -1;
  bool refused_ = false;
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

// The child's exit code, or nullopt if it still runs at `deadline` or the
// sink has refused its output.
asio::awaitable<std::optional<int64_t>> waitForExit(pid_t pid, OutputPipe& pipe,
                                                    std::chrono::steady_clock::time_point deadline) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  auto interval = firstPollInterval;
  const bool refusedBefore = pipe.refused();
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    const bool flowing = pipe.look();
    if (done == pid) co_return exitCodeOf(status);
    if (done < 0) co_return -1;
    if (std::chrono::steady_clock::now() >= deadline || (pipe.refused() && !refusedBefore)) co_return std::nullopt;
    interval = flowing ? firstPollInterval : interval;
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

// Past the deadline, or once the sink refuses more, the whole group (the
// shell may be gone while the command it started runs on) is asked to end,
// then forced, and the shell is reaped either way so that no zombie stays.
asio::awaitable<ChildEnd> waitWithinDeadline(pid_t pid, OutputPipe& pipe, CommandDeadline limits) {
  auto now = std::chrono::steady_clock::now();
  if (auto exitCode = co_await waitForExit(pid, pipe, now + limits.timeout)) co_return ChildEnd{*exitCode};
  ChildEnd end{commandTimedOut, !pipe.refused(), pipe.refused()};
  ::kill(-pid, SIGTERM);
  const auto graceEnd = std::chrono::steady_clock::now() + limits.killGrace;
  const bool shellEnded = (co_await waitForExit(pid, pipe, graceEnd)).has_value();
  co_await waitForGroupEnd(pid, graceEnd);
  ::kill(-pid, SIGKILL);
  if (!shellEnded) co_await waitForExit(pid, pipe, std::chrono::steady_clock::time_point::max());
  co_return end;
}

}  // namespace

asio::awaitable<ChildEnd> runChild(const std::string& line, CommandDeadline deadline, OutputSink sink) {
  OutputPipe pipe(std::move(sink));
  pid_t pid = spawnShell(line, pipe.writeEnd());
  pipe.closeWriteEnd();
  if (pid < 0) co_return ChildEnd{};
  co_return co_await waitWithinDeadline(pid, pipe, deadline);
}

asio::awaitable<CommandOutput> runCollecting(const std::string& line, CommandDeadline deadline, size_t maxOutput) {
  CommandOutput output;
  auto keep = [&output, maxOutput](std::string_view piece) {
    output.text.append(piece.substr(0, maxOutput - std::min(output.text.size(), maxOutput)));
    return true;
  };
  output.end = co_await runChild(line, deadline, keep);
  co_return output;
}

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

}  // namespace nc
