#include "src/route.h"

#include "server/http_error.h"
#include "src/account_model.h"
#include "src/auth.h"
#include "src/ctx.h"
#include "src/forwarder_config.h"
#include "src/service_control.h"

namespace nc {
namespace {

// The one account the password update changes, whoever is logged in.
constexpr const char* adminUser = "admin";
constexpr const char* sshUnit = "ssh";

JsonValue output(JsonValue value) { return JsonValue(JsonObject{{"output", std::move(value)}}); }
JsonValue emptyOutput() { return output(JsonValue(JsonObject{})); }

// Opens the token in `auth`; refuses the call unless it holds a user name.
void checkAccess(const Context& context, const JsonValue& body) {
  const std::string& token = httpJsonMustGetString(body, "auth");
  JsonValue payload;
  try {
    payload = decodeAuthToken(*context.secret, token);
  } catch (const InvalidTokenError&) {
    raiseHttpException(403, ErrorCode::InvalidAuthToken);
  } catch (const std::exception&) {
    raiseHttpException(403, ErrorCode::InsufficientAccessRight);
  }
  if (!payload.isObject() || !payload.asObject().contains("username"))
    raiseHttpException(403, ErrorCode::InsufficientAccessRight);
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

}  // namespace

Procedure loginOnly(Procedure procedure) {
  return [procedure](std::shared_ptr<Session> session, const JsonValue& body) {
    return guarded(procedure, std::move(session), body);
  };
}

asio::awaitable<JsonValue> login_password(std::shared_ptr<Session> session, const JsonValue& body) {
  const std::string& username = httpJsonMustGetString(body, "username");
  const std::string& password = httpJsonMustGetString(body, "password");
  Context& context = session->context.as<Context>();
  if (!checkAccountPassword(context.db, username, password)) raiseHttpException(403, ErrorCode::InvalidPassword);
  std::string token = encodeAuthToken(*context.secret, JsonValue(JsonObject{{"username", username}}));
  co_return output(JsonValue(JsonObject{{"auth", std::move(token)}}));
}

asio::awaitable<JsonValue> password_update(std::shared_ptr<Session> session, const JsonValue& body) {
  const JsonObject& input = body.asObject().at("input").asObject();
  const std::string& currentPassword = stringOrEmpty(input.at("currentPassword"));
  const std::string& newPassword = stringOrEmpty(input.at("newPassword"));
  try {
    updateAccountPassword(session->context.as<Context>().db, adminUser, currentPassword, newPassword);
  } catch (const HashNotMatchError&) {
    raiseHttpException(400, ErrorCode::PasswordMismatch);
  }
  co_return emptyOutput();
}

asio::awaitable<JsonValue> fowarderConfig_get(std::shared_ptr<Session> session, const JsonValue&) {
  co_return output(co_await getForwarderConfig(session->context.as<Context>()));
}

asio::awaitable<JsonValue> fowarderConfig_patch(std::shared_ptr<Session> session, const JsonValue& body) {
  const Context& context = session->context.as<Context>();
  const JsonValue& patch = body.asObject().at("input");
  co_await updateForwarderConfig(context, patch);
  if (!context.forwarderUnitServiceName.empty()) {
    AsyncLock commands = co_await serviceCommandMutex().lock();
    co_await restart(context.forwarderUnitServiceName);
  }
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshd_start(std::shared_ptr<Session>, const JsonValue&) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  co_await start(sshUnit);
  co_await enable(sshUnit);
  co_return emptyOutput();
}

asio::awaitable<JsonValue> sshd_stop(std::shared_ptr<Session>, const JsonValue&) {
  AsyncLock commands = co_await serviceCommandMutex().lock();
  co_await stop(sshUnit);
  co_await disable(sshUnit);
  co_return emptyOutput();
}

std::shared_ptr<JsonApiRouter> newProcedureTable() {
  auto table = newJsonApiRouter();
  mount(table, "forwarder-config/get", loginOnly(fowarderConfig_get));
  mount(table, "forwarder-config/patch", loginOnly(fowarderConfig_patch));
  mount(table, "password/update", loginOnly(password_update));
  mount(table, "login/password", Procedure(login_password));
  mount(table, "sshd/start", loginOnly(sshd_start));
  mount(table, "sshd/stop", loginOnly(sshd_stop));
  return table;
}

void setupJsonApiRoute(HttpServer& server) {
  Handler api = jsonApiHandler(newProcedureTable());
  mount(server, "rpc", api);
  mount(server, "rpc/v1", api);
}

}  // namespace nc
