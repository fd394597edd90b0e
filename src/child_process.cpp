#include "src/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <tuple>
#include <utility>

#include <asio/buffer.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

extern char** environ;

namespace nc {
namespace {

// Polling for the child's end keeps working on kernels without pidfd; the
// interval grows so a long command costs few wake-ups.
constexpr std::chrono::milliseconds firstPollInterval{1};
constexpr std::chrono::milliseconds longestPollInterval{25};

struct Pipe {
  int readEnd = -1;
  int writeEnd = -1;
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) == 0) {
      readEnd = ends[0];
      writeEnd = ends[1];
    }
  }
  ~Pipe() {
    closeReadEnd();
    closeWriteEnd();
  }
  bool open() const { return readEnd >= 0; }
  void closeWriteEnd() {
    if (writeEnd >= 0) ::close(std::exchange(writeEnd, -1));
  }
  void closeReadEnd() {
    if (readEnd >= 0) ::close(std::exchange(readEnd, -1));
  }
  int releaseReadEnd() { return std::exchange(readEnd, -1); }
};

// Starts /bin/sh -c line with its output and error going into the pipes; -1
// when it cannot be started. Descriptors other than the standard three are
// closed in the child, so a unit started from it never holds the service's
// sockets.
pid_t spawnShell(const std::string& line, const Pipe& out, const Pipe& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out.writeEnd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.writeEnd, STDERR_FILENO);
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
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) co_return exitCodeOf(status);
    if (done < 0) co_return -1;
    timer.expires_after(interval);
    co_await timer.async_wait(asio::use_awaitable);
    interval = std::min(interval * 2, longestPollInterval);
  }
}

// Reads the pipe to its end, keeping the first maxCapturedOutput bytes.
asio::awaitable<std::string> drain(int fd) {
  asio::posix::stream_descriptor pipe(co_await asio::this_coro::executor, fd);
  std::string kept;
  char chunk[4096];
  for (;;) {
    std::error_code error;
    size_t n = co_await pipe.async_read_some(asio::buffer(chunk), asio::redirect_error(asio::use_awaitable, error));
    kept.append(chunk, std::min(n, maxCapturedOutput - kept.size()));
    if (error) co_return kept;
  }
}

}  // namespace

asio::awaitable<CommandOutput> runCapturingOutput(std::string commandLine) {
  using namespace asio::experimental::awaitable_operators;
  Pipe out, err;
  CommandOutput result;
  if (!out.open() || !err.open()) co_return result;
  pid_t pid = spawnShell(commandLine, out, err);
  // The child holds its own copies; ours must go for the reads to see the end.
  out.closeWriteEnd();
  err.closeWriteEnd();
  if (pid < 0) co_return result;
  std::tie(result.out, result.err) = co_await (drain(out.releaseReadEnd()) && drain(err.releaseReadEnd()));
  result.exitCode = co_await waitForExit(pid);
  co_return result;
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
