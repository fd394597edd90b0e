#include "src/units/systemctl.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace nc {
namespace {

CommandDeadline& commandDeadline() {
  static CommandDeadline deadline = defaultCommandDeadline;
  return deadline;
}

asio::awaitable<CommandResult> runCommand(const std::string& line) {
  CommandOutput output = co_await runCollecting(line, commandDeadline(), maxCommandOutput);
  co_return CommandResult{output.end.exitCode, std::move(output.text), output.end.timedOut};
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

asio::awaitable<CommandResult> systemctlShow(std::string unit, std::string options) {
  co_return co_await runCommand("systemctl show " + shellQuote(unit) + " " + options);
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
