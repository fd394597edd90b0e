// Starting, stopping, enabling, disabling and restarting systemd units with
// the systemctl tool, run as child processes awaited through the event loop.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <asio/awaitable.hpp>

#include "utils/async_mutex.h"

namespace nc {

class ExecError : public std::runtime_error {
 public:
  ExecError(std::string command, int64_t exitCode)
      : std::runtime_error("Non-zero exit code"), command(std::move(command)), exitCode(exitCode) {}

  std::string command;  // e.g. "systemctl restart packet-forwarder"
  int64_t exitCode;     // -1: the shell could not start; 128 + n: killed by signal n
  std::string output;   // always empty: the command's output is not captured
};

// Runs a command line with /bin/sh and waits for it without blocking the loop.
// Raises ExecError unless it exits with status 0.
asio::awaitable<void> run(std::string commandLine);

asio::awaitable<void> systemctlRestart(std::string unit);
asio::awaitable<void> systemctlStart(std::string unit);
asio::awaitable<void> systemctlEnable(std::string unit);
asio::awaitable<void> systemctlStop(std::string unit);
asio::awaitable<void> systemctlDisable(std::string unit);

// Held by a procedure around all of its commands, so that the commands of two
// procedures never overlap ("start then enable" runs as one unit).
AsyncMutex& serviceCommandMutex();

// 'text' quoted for /bin/sh: the shell reads it back as exactly one word.
std::string shellQuote(const std::string& text);

}  // namespace nc
