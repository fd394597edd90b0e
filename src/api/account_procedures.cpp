#include "src/api/account_procedures.h"

#include "server/http_handler.h"
#include "src/accounts/account_store.h"
#include "src/accounts/device_tokens.h"
#include "src/accounts/login.h"
#include "src/accounts/tokens.h"
#include "src/api/procedure_output.h"

namespace nc {
namespace {

// The one account the password update changes, whoever is logged in.
constexpr const char* adminUser = "admin";

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

// Optional, and never refused: whatever is not a known device token is
// taken for none, so the reply tells a guesser nothing about it.
std::string_view deviceTokenOf(const JsonValue& body) {
  const JsonValue* presented = body.asObject().find("deviceToken");
  return presented ? std::string_view(stringOrEmpty(*presented)) : std::string_view();
}

// The login, its refusals counted by reason for /metrics.
LoginGrant countedLogIn(Context& context, const LoginAttempt& attempt) {
  try {
    return logIn(context.db, *context.secret, context.access, attempt);
  } catch (const LoginThrottledError&) {
    ++context.counts.loginsThrottled;
    throw;
  } catch (const WrongPasswordError&) {
    ++context.counts.loginsWrongPassword;
    throw;
  } catch (const UserNotFoundError&) {
    ++context.counts.loginsUnknownUser;
    throw;
  }
}

}  // namespace

asio::awaitable<JsonValue> loginPassword(Context& context, const Session& session, const JsonValue& body) {
  const std::string& username = httpJsonMustGetString(body, "username");
  const std::string& password = httpJsonMustGetString(body, "password");
  LoginGrant grant = countedLogIn(context, {session.request.peerAddress, username, password, deviceTokenOf(body)});
  JsonObject result{{"auth", std::move(grant.token)}, {"deviceToken", std::move(grant.deviceToken)}};
  // Until it changes, the console asks the operator to change it.
  if (firstRunPasswordInUse(context.db, context.firstRunPassword.value_or(std::string(factoryPassword))))
    result.set("factoryPassword", JsonValue(true));
  co_return output(JsonValue(std::move(result)));
}

asio::awaitable<JsonValue> passwordUpdate(Context& context, const JsonValue& body, std::string account) {
  const JsonObject& input = inputOf(body).asObject();
  const std::string& currentPassword = stringOrEmpty(input.at("currentPassword"));
  const std::string& newPassword = stringOrEmpty(input.at("newPassword"));
  updateAccountPassword(context.db, adminUser, currentPassword, newPassword);
  // The change revoked every device token of the account; the browser that
  // made it proved the password and stays recognised.
  co_return output(JsonValue(JsonObject{
      {"auth", renewAfterPasswordChange(*context.secret, context.access, account)},
      {"deviceToken", issueDeviceToken(context.db, adminUser, context.access.wallNow())}}));
}

}  // namespace nc
