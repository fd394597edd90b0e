#include "src/api/procedure_table.h"

#include "src/api/access_guard.h"
#include "src/api/account_procedures.h"
#include "src/api/forwarder_procedures.h"
#include "src/api/journal_procedures.h"
#include "src/api/ssh_procedures.h"
#include "src/api/system_procedures.h"

namespace nc {
namespace {

// A procedure open to everyone; it sees the request, for the peer's address.
using OpenProcedure = asio::awaitable<JsonValue> (*)(Context& context, const Session& session, const JsonValue& body);

// The session stays alive in the API handler's frame, which awaits the call;
// the context in the table, which lives as long as the server.
Procedure open(std::shared_ptr<Context> context, OpenProcedure procedure) {
  return [context, procedure](std::shared_ptr<Session> session, const JsonValue& body) {
    return procedure(*context, *session, body);
  };
}

}  // namespace

std::shared_ptr<JsonApiRouter> newProcedureTable(std::shared_ptr<Context> context) {
  auto table = newJsonApiRouter();
  mount(table, "forwarder-config/get", loginOnly(context, forwarderConfigGet));
  mount(table, "forwarder-config/raw", loginOnly(context, forwarderConfigRaw));
  mount(table, "forwarder-config/patch", loginOnly(context, forwarderConfigPatch));
  mount(table, "password/update", loginOnly(context, passwordUpdate));
  mount(table, "login/password", open(context, loginPassword));
  mount(table, "sshd/start", loginOnly(context, sshdStart));
  mount(table, "sshd/stop", loginOnly(context, sshdStop));
  mount(table, "forwarder/status", loginOnly(context, forwarderStatus));
  mount(table, "sshd/status", loginOnly(context, sshdStatus));
  mount(table, "forwarder-config/history", loginOnly(context, forwarderConfigHistory));
  mount(table, "forwarder-config/version", loginOnly(context, forwarderConfigVersion));
  mount(table, "forwarder-config/restore", loginOnly(context, forwarderConfigRestore));
  mount(table, "forwarder/traffic", loginOnly(context, forwarderTraffic));
  mount(table, "forwarder/log", loginOnly(context, forwarderLog));
  mount(table, "system/info", loginOnly(context, systemInfo));
  return table;
}

void setupJsonApiRoute(HttpServer& server, std::shared_ptr<Context> context) {
  Handler api = jsonApiHandler(newProcedureTable(std::move(context)));
  mount(server, "rpc", api);
  mount(server, "rpc/v1", api);
}

}  // namespace nc
