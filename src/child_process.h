// Running a command line with /bin/sh as a child process awaited through the
// event loop, with its standard output and error captured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <asio/awaitable.hpp>

namespace nc {

// Enough for every line systemctl prints about a unit; a child that writes
// more is still read to its end, so it never blocks on a full pipe.
constexpr size_t maxCapturedOutput = 64 * 1024;

struct CommandOutput {
  int64_t exitCode = -1;  // -1: the shell could not start; 128 + n: killed by signal n
  std::string out;        // at most maxCapturedOutput bytes of each stream
  std::string err;
};

asio::awaitable<CommandOutput> runCapturingOutput(std::string commandLine);

// The first line of `text` that holds more than white space, trimmed; empty
// when there is none.
std::string firstLineOf(std::string_view text);

}  // namespace nc
