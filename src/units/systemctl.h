// Starting, stopping, enabling, disabling, restarting and querying systemd
// units with the systemctl tool, run as child processes awaited through the
// event loop.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <asio/awaitable.hpp>

#include "src/units/child_process.h"
#include "utils/async_mutex.h"

namespace nc {

class ExecError : public std::runtime_error {
 public:
  ExecError(std::string command, int64_t exitCode, std::string output = {},
            const std::string& message = "Non-zero exit code")
      : std::runtime_error(message),
        command(std::move(command)),
        exitCode(exitCode),
        output(std::move(output)) {}

  std::string command;     // e.g. "systemctl restart packet-forwarder"
  int64_t exitCode;        // -1: the shell could not start; 128 + n: killed by signal n;
                           // commandTimedOut: killed at the command deadline
  std::string output;      // what the command wrote to standard output and error, at most maxCommandOutput bytes
  bool timedOut = false;   // stopped at the command deadline, which the message names
};

// How much of a command's output a failure keeps: systemctl says why it
// failed in a few lines, and a command that prints without end must not grow
// the service's memory with it.
inline constexpr size_t maxCommandOutput = 4096;

// A command still running this long is ended: a unit slow to stop or a wedged
// systemd would otherwise hold the command lock, and every later procedure
// with it, for good. systemd's own start and stop timeouts default to 90 s.
inline constexpr std::chrono::milliseconds defaultCommandTimeout = std::chrono::seconds(120);
// After SIGTERM, a command has this long to end before SIGKILL.
inline constexpr std::chrono::milliseconds defaultCommandKillGrace = std::chrono::seconds(5);
inline constexpr CommandDeadline defaultCommandDeadline{defaultCommandTimeout, defaultCommandKillGrace};

// The deadline of every systemctl command from now on; tests shorten it.
void setCommandDeadline(CommandDeadline deadline);

// Each runs "systemctl VERB UNIT" with /bin/sh and waits for it without
// blocking the loop, at most the command deadline. Raises ExecError unless it
// exits with status 0; a command ended at its deadline raises it with exit
// code commandTimedOut, timedOut set and the message "systemctl did not finish
// within 120 s and was stopped" (the deadline in force).
asio::awaitable<void> systemctlRestart(std::string unit);
asio::awaitable<void> systemctlStart(std::string unit);
asio::awaitable<void> systemctlEnable(std::string unit);
asio::awaitable<void> systemctlStop(std::string unit);
asio::awaitable<void> systemctlDisable(std::string unit);

struct CommandResult {
  int64_t exitCode = -1;  // as ExecError's
  std::string output;     // standard output and error, at most maxCommandOutput bytes
  bool timedOut = false;  // ended at the command deadline; exitCode is then commandTimedOut
};

// Runs "systemctl show UNIT OPTIONS" and hands back how it ended, failure
// included, since a query's failure is an answer too. `options` is passed to
// the shell as written, so it must not come from a client. It changes
// nothing, so it takes no command lock.
asio::awaitable<CommandResult> systemctlShow(std::string unit, std::string options);

// What an operator is told of a failed command: that it was stopped at the
// deadline; else systemctl's first line of error; else, when it said nothing,
// "systemctl ended with status N".
std::string commandFailureText(const ExecError& error);

// Held by a procedure around all of its commands, so that the commands of two
// procedures never overlap ("start then enable" runs as one unit).
AsyncMutex& serviceCommandMutex();

}  // namespace nc
