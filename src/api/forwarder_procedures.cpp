#include "src/api/forwarder_procedures.h"

#include "server/http_error.h"
#include "src/accounts/token_seal.h"
#include "src/forwarder/history.h"
#include "src/api/context.h"
#include "src/forwarder/apply.h"
#include "src/units/unit_status.h"

namespace nc {
namespace {

constexpr const char* sshUnit = "ssh";

JsonValue output(JsonValue value) { return JsonValue(JsonObject{{"output", std::move(value)}}); }

const Context& contextOf(const Session& session) { return session.context.as<Context>(); }

ForwarderTarget targetOf(const Context& context) {
  return {context.forwarderConfigPath, context.forwarderUnitServiceName, historyFolderFor(context.dataPath),
          context.forwarderSettleWindow};
}

// `input.id`, a whole number.
int64_t versionIdOf(const JsonValue& body) {
  const JsonValue& id = httpJsonMustGet(httpJsonMustGet(body, "input"), "id");
  if (!id.isInt()) raiseHttpException(400, ErrorCode::InvalidFormat, "Field id is not an integer");
  return id.asInt();
}

[[noreturn]] void raiseUnknownVersion(const UnknownVersionError& error) {
  raiseHttpException(404, ErrorCode::UnknownId, error.what());
}

asio::awaitable<JsonValue> unitStatusOutput(const std::string& unit) {
  if (unit.empty()) co_return output(unmanagedUnitJson());
  co_return output(unitStatusJson(unit, co_await readUnitStatus(unit)));
}

}  // namespace

std::string accountOf(const Context& context, const JsonValue& body) {
  JsonValue payload = decodeAuthToken(*context.secret, httpJsonMustGetString(body, "auth"));
  const JsonValue* name = payload.isObject() ? payload.asObject().find("username") : nullptr;
  return name && name->isString() ? name->asString() : "";
}

asio::awaitable<JsonValue> forwarderStatus(std::shared_ptr<Session> session, const JsonValue&) {
  co_return co_await unitStatusOutput(contextOf(*session).forwarderUnitServiceName);
}

asio::awaitable<JsonValue> sshdStatus(std::shared_ptr<Session>, const JsonValue&) {
  co_return co_await unitStatusOutput(sshUnit);
}

asio::awaitable<JsonValue> forwarderConfigPatch(std::shared_ptr<Session> session, const JsonValue& body) {
  const Context& context = contextOf(*session);
  // A missing input is not a field error here: it fails as an internal error
  // (500), as callers have always seen it.
  const JsonValue& patch = body.asObject().at("input");
  co_await applyForwarderPatch(targetOf(context), patch, accountOf(context, body));
  co_return output(JsonValue(JsonObject{}));
}

asio::awaitable<JsonValue> forwarderConfigHistory(std::shared_ptr<Session> session, const JsonValue&) {
  JsonArray versions;
  for (const auto& version : listVersions(historyFolderFor(contextOf(*session).dataPath)))
    versions.push_back(versionJson(version));
  co_return output(JsonValue(std::move(versions)));
}

asio::awaitable<JsonValue> forwarderConfigVersion(std::shared_ptr<Session> session, const JsonValue& body) {
  int64_t id = versionIdOf(body);
  std::string text;
  try {
    text = versionText(historyFolderFor(contextOf(*session).dataPath), id);
  } catch (const UnknownVersionError& error) {
    raiseUnknownVersion(error);
  }
  co_return output(JsonValue(JsonObject{{"id", id}, {"text", std::move(text)}}));
}

asio::awaitable<JsonValue> forwarderConfigRestore(std::shared_ptr<Session> session, const JsonValue& body) {
  const Context& context = contextOf(*session);
  try {
    co_await restoreForwarderVersion(targetOf(context), versionIdOf(body), accountOf(context, body));
  } catch (const UnknownVersionError& error) {
    raiseUnknownVersion(error);
  }
  co_return output(JsonValue(JsonObject{}));
}

}  // namespace nc
