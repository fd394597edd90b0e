#include "src/api/procedure_table.h"

#include "server/http_error.h"
#include "src/accounts/account_store.h"
#include "src/accounts/login.h"
#include "src/api/context.h"
#include "src/forwarder/config_file.h"
#include "src/api/forwarder_procedures.h"
#include "src/units/systemctl.h"

namespace nc {
namespace {

// The one account the password update changes, whoever is logged in.
constexpr const char* adminUser = "admin";
constexpr const char* sshUnit = "ssh";

JsonValue output(JsonValue value) { return JsonValue(JsonObject{{"output", std::move(value)}}); }
JsonValue emptyOutput() { return output(JsonValue(JsonObject{})); }

// Opens the token in `auth` and checks its claims; refuses the call otherwise.
void checkAccess(const Context& context, const JsonValue& body) {
  checkToken(*context.secret, context.access, httpJsonMustGetString(body, "auth"));
}

asio::awaitable<JsonValue> guarded(Procedure procedure, std::shared_ptr<Session> session, const JsonValue& body) {
  checkAccess(session->context.as<Context>(), body);
  co_return co_await procedure(session, body);
}

// A member that is present but not a string reads as the empty string.
// References, not copies: the passwords are not duplicated in memory.
const std::string& stringOrEmpty(const JsonValue& value) {
  static const std::string empty;
  return value.isString() ? value.asString() : empty;
}

// Unlike `auth`, `username` and `password`, whose absence answers 400
// "Missing field", `input` is looked up plainly on purpose: a call without it,
// and an update whose `input` is no object or lacks a password member, fail
// the lookup and answer 500 "Unspecified error" as unexpected failures. That
// is how these calls have always answered; it is not an oversight.
const JsonValue& inputOf(const JsonValue& body) { return body.asObject().at("input"); }

}  // namespace

Procedure loginOnly(Procedure procedure) {
  return [procedure](std::shared_ptr<Session> session, const JsonValue& body) {
    return guarded(procedure, std::move(session), body);
  };
}

asio::awaitable<JsonValue> loginPassword(std::shared_ptr<Session> session, const JsonValue& body) {
  const std::string& username = httpJsonMustGetString(body, "username");
  const std::string& password = httpJsonMustGetString(body, "password");
  Context& context = session->context.as<Context>();
  JsonObject result{{"auth", logIn(context.db, *context.secret, context.access, session->request.peerAddress,
                                   username, password)}};
  // Until it changes, the console asks the operator to change it.
  if (firstRunPasswordInUse(context.db)) result.set("factoryPassword", JsonValue(true));
  co_return output(JsonValue(std::move(result)));
}

asio::awaitable<JsonValue> passwordUpdate(std::shared_ptr<Session> session, const JsonValue& body) {
  const JsonObject& input = inputOf(body).asObject();
  const std::string& currentPassword = stringOrEmpty(input.at("currentPassword"));
  const std::string& newPassword = stringOrEmpty(input.at("newPassword"));
  // A wrong current password raises HashNotMatchError, which the service's
  // failure table answers 400 "Password mismatch".
  Context& context = session->context.as<Context>();
  updateAccountPassword(context.db, adminUser, currentPassword, newPassword);
  // The guard has checked the caller's token; the change ends it with every
  // other, and the caller carries on with a fresh one.
  const std::string& token = body.asObject().at("auth").asString();
  co_return output(JsonValue(JsonObject{{"auth", endEarlierTokens(*context.secret, context.access, token)}}));
}

asio::awaitable<JsonValue> forwarderConfigGet(std::shared_ptr<Session> session, const JsonValue&) {
  co_return output(co_await getForwarderConfig(session->context.as<Context>()));
}

asio::awaitable<JsonValue> sshdStart(std::shared_ptr<Session>, const JsonValue&) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  co_await systemctlStart(sshUnit);
  co_await systemctlEnable(sshUnit);
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshdStop(std::shared_ptr<Session>, const JsonValue&) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  co_await systemctlStop(sshUnit);
  co_await systemctlDisable(sshUnit);
  co_return emptyOutput();
}

std::shared_ptr<JsonApiRouter> newProcedureTable() {
  auto table = newJsonApiRouter();
  mount(table, "forwarder-config/get", loginOnly(forwarderConfigGet));
  mount(table, "forwarder-config/patch", loginOnly(forwarderConfigPatch));
  mount(table, "password/update", loginOnly(passwordUpdate));
  mount(table, "login/password", Procedure(loginPassword));
  mount(table, "sshd/start", loginOnly(sshdStart));
  mount(table, "sshd/stop", loginOnly(sshdStop));
  mount(table, "forwarder/status", loginOnly(forwarderStatus));
  mount(table, "sshd/status", loginOnly(sshdStatus));
  mount(table, "forwarder-config/history", loginOnly(forwarderConfigHistory));
  mount(table, "forwarder-config/version", loginOnly(forwarderConfigVersion));
  mount(table, "forwarder-config/restore", loginOnly(forwarderConfigRestore));
  return table;
}

void setupJsonApiRoute(HttpServer& server) {
  Handler api = jsonApiHandler(newProcedureTable());
  mount(server, "rpc", api);
  mount(server, "rpc/v1", api);
}

}  // namespace nc
