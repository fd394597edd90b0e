#include "src/api/ssh_procedures.h"

#include "src/api/procedure_output.h"
#include "src/units/systemctl.h"
#include "src/units/unit_status.h"

namespace nc {
namespace {

constexpr const char* sshUnit = "ssh";

}  // namespace

asio::awaitable<JsonValue> sshdStart(Context&, const JsonValue&, std::string) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  co_await systemctlStart(sshUnit);
  co_await systemctlEnable(sshUnit);
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshdStop(Context&, const JsonValue&, std::string) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  co_await systemctlStop(sshUnit);
  co_await systemctlDisable(sshUnit);
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshdStatus(Context&, const JsonValue&, std::string) {
  co_return output(co_await unitStatusReport(sshUnit));
}

}  // namespace nc
