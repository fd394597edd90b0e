#include "src/forwarder/apply.h"

#include <algorithm>
#include <utility>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "src/forwarder/history.h"
#include "src/forwarder/atomic_file.h"
#include "src/forwarder/config_file.h"
#include "src/units/systemctl.h"
#include "src/forwarder/settle_watch.h"
#include "src/forwarder/stale_temp_files.h"
#include "utils/async_mutex.h"
#include "utils/logger.h"
#include "utils/utc_time.h"

namespace nc {
namespace {

using std::chrono::milliseconds;

// One apply at a time, from reading the file to the end of the watch: two
// interleaved applies would lose a change or roll back the wrong file.
AsyncMutex& applyMutex() {
  static AsyncMutex mutex;
  return mutex;
}

// Restarts the unit under the command lock; why it failed, or nothing.
asio::awaitable<std::optional<std::string>> restartUnit(const std::string& unit) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  try {
    co_await systemctlRestart(unit);
  } catch (const ExecError& error) {
    co_return commandFailureText(error);
  }
  co_return std::nullopt;
}

asio::awaitable<std::optional<std::string>> watchUnit(const std::string& unit, milliseconds window) {
  auto deadline = std::chrono::steady_clock::now() + window;
  milliseconds interval = std::clamp(window / 4, milliseconds(1), settlePollInterval);
  asio::steady_timer timer(co_await asio::this_coro::executor);
  SettleWatch watch;
  for (;;) {
    if (auto failure = watch.observe(co_await readUnitStatus(unit))) co_return failure;
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= milliseconds(0)) co_return watch.verdict();
    timer.expires_after(std::min<std::chrono::steady_clock::duration>(interval, left));
    co_await timer.async_wait(asio::use_awaitable);
  }
}

// Ends a failure after which no configuration runs, so that no reader takes
// the rollback for a repair; an unreadable state is not claimed to be down.
constexpr const char* forwarderDownText =
    ": the forwarder is not running. Restore a version that ran, or repair the file on the gateway.";
constexpr const char* forwarderUnknownText =
    ": the forwarder's state cannot be read, so it may not be running. Check it on the gateway.";

// The message goes to the log as well, where the gateway's journal keeps it.
[[noreturn]] void raiseApplyFailure(const std::string& message) {
  serviceLog().error(message);
  throw ApplyFailedError(message);
}

// The outcome only annotates the history: failing to note it must not turn a
// change that held into an error, nor hide why one did not.
void recordOutcome(const ForwarderTarget& target, int64_t id, ApplyOutcome outcome) {
  try {
    noteOutcome(target.historyFolder, id, outcome);
  } catch (const std::exception& error) {
    serviceLog().error(std::string("The outcome of the change could not be noted in the configuration history: ") +
                       error.what());
  }
}

// Puts `oldText` back, restarts the unit once more and watches it as long as
// the change: a forwarder that fails on the old file too must not be reported
// restored. Never returns: it ends in the failure that tells the caller what
// happened, `what` first.
asio::awaitable<void> rollBack(const ForwarderTarget& target, const HistoryVersion& kept, const std::string& oldText,
                               const std::string& what) {
  try {
    replaceFileAtomically(target.configPath, oldText);
  } catch (const std::exception& error) {
    recordOutcome(target, kept.id, ApplyOutcome::failed);
    raiseApplyFailure(what + "; putting the previous configuration back failed too (" + error.what() +
                      "), so the new configuration is still in place.");
  }
  recordOutcome(target, kept.id, ApplyOutcome::rolledBack);
  const std::string notRunning = "; the previous configuration was put back, but ";
  if (auto failed = co_await restartUnit(target.unit))
    raiseApplyFailure(what + notRunning + "restarting the forwarder with it failed too (" + *failed + ")" +
                      forwarderDownText);
  if (auto failed = co_await watchUnit(target.unit, target.settleWindow))
    raiseApplyFailure(what + notRunning + "the forwarder did not stay running with it either (" + *failed + ")" +
                      (isUnreadVerdict(*failed) ? forwarderUnknownText : forwarderDownText));
  raiseApplyFailure(what + "; the previous configuration was restored.");
}

// Temporary files of a process killed in the middle of a change. Removed
// under the apply lock, or before serving, so that none is in the making.
void removeLeftovers(const ForwarderTarget& target, Logger& log) {
  removeStaleTemporaryFiles(target.configPath, log);
  removeStaleHistoryFiles(target.historyFolder, log);
}

// Checked before anything is kept, written or restarted.
void requireObject(const JsonValue& next) {
  if (!next.isObject()) throw ConfigNotObjectError();
}

// Keeps `oldText` in the history, writes `newText`, restarts and watches the
// unit, and rolls back when it does not stay up.
asio::awaitable<void> apply(const ForwarderTarget& target, const std::string& oldText, const std::string& newText,
                            ChangeNote note) {
  removeLeftovers(target, serviceLog());
  HistoryVersion kept;
  try {
    kept = keepVersion(target.historyFolder, oldText, std::move(note));
  } catch (const std::exception& error) {
    raiseApplyFailure(std::string("The configuration history cannot be written (") + error.what() +
                      "); nothing was changed.");
  }
  replaceFileAtomically(target.configPath, newText);
  if (target.unit.empty()) {
    recordOutcome(target, kept.id, ApplyOutcome::saved);
    co_return;
  }
  if (auto failed = co_await restartUnit(target.unit))
    co_await rollBack(target, kept, oldText,
                      "The forwarder could not be restarted with the new configuration (" + *failed + ")");
  if (auto failed = co_await watchUnit(target.unit, target.settleWindow))
    co_await rollBack(target, kept, oldText,
                      "The forwarder did not stay running with the new configuration (" + *failed + ")");
  recordOutcome(target, kept.id, ApplyOutcome::held);
}

}  // namespace

void tidyForwarderFiles(const ForwarderTarget& target, Logger& log) {
  keepHistoryPrivate(target.historyFolder, log);
  removeLeftovers(target, log);
}

asio::awaitable<void> applyForwarderPatch(ForwarderTarget target, JsonValue patch, std::string account) {
  AsyncLock lock = co_await applyMutex().lock();
  std::string oldText = readWholeFile(target.configPath);
  JsonValue current = parseJson(oldText);
  JsonValue next = merge(current, patch);
  requireObject(next);
  ChangeNote note{utcTimeText(), std::move(account), changedMembers(&current, next), std::nullopt, std::nullopt};
  co_await apply(target, oldText, toPrettyJson(next), std::move(note));
}

asio::awaitable<void> restoreForwarderVersion(ForwarderTarget target, int64_t id, std::string account) {
  AsyncLock lock = co_await applyMutex().lock();
  std::string text = versionText(target.historyFolder, id);
  JsonValue next;
  try {
    next = parseJson(text);
  } catch (const JsonParseError&) {
    throw UnrestorableVersionError(id);
  }
  requireObject(next);
  std::string oldText = readWholeFile(target.configPath);
  std::optional<JsonValue> current;
  try {
    current = parseJson(oldText);
  } catch (const JsonParseError&) {
    // A broken file is what a restore repairs; it is kept all the same.
  }
  ChangeNote note{utcTimeText(), std::move(account), changedMembers(current ? &*current : nullptr, next), id,
                  std::nullopt};
  co_await apply(target, oldText, text, std::move(note));
}

}  // namespace nc
