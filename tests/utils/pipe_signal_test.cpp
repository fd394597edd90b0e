#include "utils/pipe_signal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "support/test_support.h"

namespace nc::test {
namespace {

// Runs `body` in a child whose SIGPIPE starts with `disposition`; the child's
// status: its exit code, or 128 + the signal that ended it.
int statusOfChild(void (*disposition)(int), int (*body)()) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, disposition);
    ::_exit(body());
  }
  return waitForChild(pid, std::chrono::steady_clock::now() + std::chrono::seconds(10));
}

// 0 when a write to a pipe without reader failed with EPIPE and the process
// went on; 2 for any other outcome.
int writeToClosedPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return 2;
  ::close(ends[0]);
  const ssize_t written = ::write(ends[1], "x", 1);
  return written == -1 && errno == EPIPE ? 0 : 2;
}

int quietWriteAfterLettingPass() {
  letQuietPipeSignalsPass();
  const QuietPipeWrite quiet;
  return writeToClosedPipe();
}

int plainWriteAfterLettingPass() {
  letQuietPipeSignalsPass();
  { const QuietPipeWrite quiet; }
  return writeToClosedPipe();
}

int quietWriteWithoutLettingPass() {
  const QuietPipeWrite quiet;
  return writeToClosedPipe();
}

int currentHandlerIs(void (*handler)(int)) {
  struct sigaction current {};
  ::sigaction(SIGPIPE, nullptr, &current);
  return current.sa_handler == handler ? 0 : 3;
}

int ignoredStaysIgnored() {
  letQuietPipeSignalsPass();
  if (currentHandlerIs(SIG_IGN) != 0) return 3;
  return writeToClosedPipe();
}

void countSignal(int) {}

int ownHandlerStays() {
  letQuietPipeSignalsPass();
  return currentHandlerIs(countSignal);
}

TEST(PipeSignal, withTheDefaultActionOnlyQuietWritesLiveOn) {
  EXPECT_EQ(statusOfChild(SIG_DFL, quietWriteAfterLettingPass), 0);
  EXPECT_EQ(statusOfChild(SIG_DFL, plainWriteAfterLettingPass), 128 + SIGPIPE);
  // The guard alone does nothing: the handler is what lets the signal pass.
  EXPECT_EQ(statusOfChild(SIG_DFL, quietWriteWithoutLettingPass), 128 + SIGPIPE);
}

TEST(PipeSignal, anIgnoredSignalOrAHandlerOfTheProgramsIsLeftAlone) {
  EXPECT_EQ(statusOfChild(SIG_IGN, ignoredStaysIgnored), 0);
  EXPECT_EQ(statusOfChild(countSignal, ownHandlerStays), 0);
}

}  // namespace
}  // namespace nc::test
