#include "src/api/account_procedures.h"

#include "server/http_handler.h"
#include "src/accounts/account_store.h"
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

// The login, its refusals counted by reason for /metrics.
std::string countedLogIn(Context& context, const Session& session, const std::string& username,
                         const std::string& password) {
  try {
    return logIn(context.db, *context.secret, context.access, session.request.peerAddress, username, password);
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
  JsonObject result{{"auth", countedLogIn(context, session, username, password)}};
  // Until it changes, the console asks the operator to change it.
  if (firstRunPasswordInUse(context.db)) result.set("factoryPassword", JsonValue(true));
  co_return output(JsonValue(std::move(result)));
}

asio::awaitable<JsonValue> passwordUpdate(Context& context, const JsonValue& body, std::string account) {
  const JsonObject& input = inputOf(body).asObject();
  const std::string& currentPassword = stringOrEmpty(input.at("currentPassword"));
  const std::string& newPassword = stringOrEmpty(input.at("newPassword"));
  updateAccountPassword(context.db, adminUser, currentPassword, newPassword);
  co_return output(JsonValue(JsonObject{{"auth", renewAfterPasswordChange(*context.secret, context.access, account)}}));
}

}  // namespace nc
