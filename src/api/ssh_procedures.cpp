#include "src/api/ssh_procedures.h"

#include "src/api/procedure_output.h"
#include "src/units/systemctl.h"
#include "src/units/unit_status.h"
#include "utils/logger.h"

namespace nc {
namespace {

constexpr const char* sshUnit = "ssh";

using UnitCommand = asio::awaitable<void> (*)(std::string unit);

// Both under the command lock, so that "start then enable" runs as one. A
// failure goes to the journal, as a failed forwarder change does, and on to
// the caller through the failure table.
asio::awaitable<void> runInTurn(UnitCommand first, UnitCommand second) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  try {
    co_await first(sshUnit);
    co_await second(sshUnit);
  } catch (const ExecError& error) {
    serviceLog().error(error.command + ": " + commandFailureText(error));
    throw;
  }
}

}  // namespace

asio::awaitable<JsonValue> sshdStart(Context&, const JsonValue&, std::string) {
  co_await runInTurn(systemctlStart, systemctlEnable);
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshdStop(Context&, const JsonValue&, std::string) {
  co_await runInTurn(systemctlStop, systemctlDisable);
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshdStatus(Context&, const JsonValue&, std::string) {
  co_return output(co_await unitStatusReport(sshUnit));
}

}  // namespace nc
