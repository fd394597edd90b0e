#include "src/app/fatal_signals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <limits>
#include <string>

#include "support/test_support.h"
#include "utils/pipe_signal.h"

namespace nc::test {
namespace {

struct Ending {
  int exitStatus = -1;  // or 128 + signal
  std::string err;
};

// Runs `body` in a child process with the handlers installed and standard
// error captured; the child is killed if it outlives the deadline.
Ending endOfChild(void (*body)()) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeEnds[1], STDERR_FILENO);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    installFatalSignalHandlers();
    body();
    ::_exit(99);
  }
  ::close(pipeEnds[1]);
  Ending ending;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  pollfd readable{pipeEnds[0], POLLIN, 0};
  char chunk[256];
  ssize_t n = 0;
  while (::poll(&readable, 1, 10000) > 0 && (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0)
    ending.err.append(chunk, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  ending.exitStatus = waitForChild(pid, deadline);
  return ending;
}

template <int signal>
void raiseSignal() {
  ::raise(signal);
}

void writeToClosedPipe() {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return;
  ::close(pipeEnds[0]);
  const ssize_t written = ::write(pipeEnds[1], "x", 1);
  static_cast<void>(written);
}

// A write that expects SIGPIPE lives on; the next plain one still ends.
void quietThenPlainWriteToClosedPipe() {
  {
    const QuietPipeWrite quiet;
    writeToClosedPipe();
  }
  const ssize_t written = ::write(STDERR_FILENO, "after the quiet write\n", 22);
  static_cast<void>(written);
  writeToClosedPipe();
}

// Four billion pages of frames overflow any stack; the volatile frame keeps it
// a real recursion.
int overflowStack(int depth) {
  if (depth == std::numeric_limits<int>::max()) return 0;
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  return overflowStack(depth + 1) + frame[0];
}

void overflowTheStack() { static_cast<void>(overflowStack(0)); }

TEST(FatalSignals, endWithOneLineAndStatus1) {
  const std::vector<std::pair<void (*)(), std::string>> cases{
      {raiseSignal<SIGINT>, "SIGINT: Interrupted by Ctrl-C.\n"},
      {raiseSignal<SIGSEGV>, "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
      {raiseSignal<SIGABRT>, "SIGABRT: Abnormal termination.\n"},
      {raiseSignal<SIGFPE>, "SIGFPE: Arithmetic error.\n"},
      {raiseSignal<SIGILL>, "SIGILL: Illegal operation.\n"},
      {raiseSignal<SIGPIPE>, "SIGPIPE: Pipe closed.\n"},
      {writeToClosedPipe, "SIGPIPE: Pipe closed.\n"},
      {quietThenPlainWriteToClosedPipe, "after the quiet write\nSIGPIPE: Pipe closed.\n"},
      {overflowTheStack, "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
  };
  for (const auto& [body, line] : cases) {
    const Ending ending = endOfChild(body);
    EXPECT_EQ(ending.exitStatus, 1) << line;
    EXPECT_EQ(ending.err, line);
  }
}

TEST(FatalSignals, otherSignalsKeepTheirDefault) {
  const Ending ending = endOfChild(raiseSignal<SIGTERM>);
  EXPECT_EQ(ending.exitStatus, 128 + SIGTERM);
  EXPECT_EQ(ending.err, "");
}

}  // namespace
}  // namespace nc::test
