#include <gtest/gtest.h>

#include "src/child_process.h"
#include "support/run_awaitable.h"

namespace nc::test {
namespace {

CommandOutput run(const std::string& line) {
  asio::io_context io;
  return runAwaitable(io, runCapturingOutput(line));
}

}  // namespace

TEST(childProcess, capturesBothStreamsAndTheStatus) {
  CommandOutput result = run("echo out; echo err >&2; exit 4");
  EXPECT_EQ(result.out, "out\n");
  EXPECT_EQ(result.err, "err\n");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(run("kill -9 $$").exitCode, 137);
  CommandOutput missing = run("no-such-command-anywhere");
  EXPECT_EQ(missing.exitCode, 127);
  EXPECT_NE(missing.err.find("no-such-command-anywhere"), std::string::npos) << missing.err;
}

// Each stream is cut at the bound, and a child that writes far more than a
// pipe holds, on both streams at once, still runs to its end.
TEST(childProcess, outputBound) {
  for (size_t size : {maxCapturedOutput - 1, maxCapturedOutput, maxCapturedOutput + 1}) {
    CommandOutput result = run("head -c " + std::to_string(size) + " /dev/zero");
    EXPECT_EQ(result.out.size(), std::min(size, maxCapturedOutput));
    EXPECT_EQ(result.exitCode, 0);
  }
  CommandOutput flood = run("head -c 1000000 /dev/zero >&2 & head -c 1000000 /dev/zero; wait; echo done >&2");
  EXPECT_EQ(flood.out.size(), maxCapturedOutput);
  EXPECT_EQ(flood.err.size(), maxCapturedOutput);
  EXPECT_EQ(flood.exitCode, 0);
}

TEST(childProcess, firstLineOf) {
  EXPECT_EQ(firstLineOf("one\ntwo\n"), "one");
  EXPECT_EQ(firstLineOf("\n  \r\n\t Failed to connect to bus: Host is down \r\nmore"), "Failed to connect to bus: Host is down");
  EXPECT_EQ(firstLineOf("no line break"), "no line break");
  EXPECT_EQ(firstLineOf(" \n\n"), "");
  EXPECT_EQ(firstLineOf(""), "");
}

}  // namespace nc::test
