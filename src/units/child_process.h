// Commands run as children of the service through /bin/sh and awaited through
// the event loop: nothing blocks the one thread, a deadline ends a command
// that hangs, and its output reaches the caller piece by piece, so the caller
// decides how much of it is kept.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

namespace nc {

// The exit code of a command ended at its deadline, as timeout(1) reports it.
inline constexpr int64_t commandTimedOut = 124;

struct CommandDeadline {
  // A command still running this long is asked to end (SIGTERM to its group).
  std::chrono::milliseconds timeout;
  // After SIGTERM, it has this long to end before SIGKILL.
  std::chrono::milliseconds killGrace;
};

// Told each piece of the command's standard output and error as it arrives.
// Answers false once it wants no more: the command is then ended as at its
// deadline, and nothing more is read.
using OutputSink = std::function<bool(std::string_view piece)>;

struct ChildEnd {
  int64_t exitCode = -1;       // -1: the shell could not start; 128 + n: killed by signal n;
                               // commandTimedOut: ended at the deadline or at the sink's word
  bool timedOut = false;       // ended at the deadline
  bool outputRefused = false;  // ended because the sink wanted no more
};

// Runs `line` with /bin/sh -c in a process group of its own, hands its output
// to `sink` and waits for its end without blocking the loop. Past the deadline
// (or once the sink refuses more) the whole group gets SIGTERM, then SIGKILL
// after the grace; the shell is reaped either way.
asio::awaitable<ChildEnd> runChild(const std::string& line, CommandDeadline deadline, OutputSink sink);

struct CommandOutput {
  ChildEnd end;
  std::string text;  // standard output and error, at most the bound asked for
};

// runChild keeping the first `maxOutput` bytes of the output; the rest is
// read and dropped, so a talkative child never blocks on a full pipe.
asio::awaitable<CommandOutput> runCollecting(const std::string& line, CommandDeadline deadline, size_t maxOutput);

// 'text' quoted for /bin/sh: the shell reads it back as exactly one word.
std::string shellQuote(const std::string& text);

// The first line of a command's output that holds more than white space,
// trimmed; empty when there is none.
std::string firstLineOf(std::string_view text);

}  // namespace nc
