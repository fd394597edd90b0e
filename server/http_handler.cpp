#include "server/http_handler.h"

#include "server/http_error.h"

namespace nc {
namespace {

// How long a browser may cache a preflight answer: one day.
constexpr std::string_view preflightMaxAge = "86400";

asio::awaitable<JsonValue> unknownPath(std::shared_ptr<Session>, const JsonValue&) {
  raiseHttpException(404, ErrorCode::UnknownPath);
  co_return JsonValue();
}

asio::awaitable<void> answerPreflight(const Session& session) {
  const auto* method = session.request.headers.get("access-control-request-method");
  if (method == nullptr || method->size() != 1 || (*method)[0] != "POST") {
    co_await respondStatus(session, 400);
    co_return;
  }
  HttpHeaders headers{{"access-control-allow-origin", "*"},
                      {"access-control-allow-methods", "POST, OPTIONS"},
                      {"access-control-allow-headers", "Content-Type"},
                      {"access-control-max-age", std::string(preflightMaxAge)}};
  co_await respond(session, 200, {}, headers);
}

// The procedure path comes from the body; the URL rest fills in when it has none.
std::string procedurePath(JsonObject& body, const std::string& urlRest) {
  if (!body.contains("path")) {
    if (urlRest.empty()) raiseHttpException(400, ErrorCode::MissingField);
    body.set("path", JsonValue(urlRest));
  }
  const JsonValue& path = *body.find("path");
  return path.isString() ? path.asString() : std::string();
}

asio::awaitable<void> callProcedure(std::shared_ptr<Session> session, std::shared_ptr<JsonApiRouter> jsonHandlers) {
  JsonValue body = parseJson(session->request.body);
  std::string path = procedurePath(body.asObject(), session->path);
  Procedure procedure = route(jsonHandlers, path).first;
  JsonValue result = co_await procedure(session, body);
  if (const JsonValue* pin = body.asObject().find("pin")) result.asObject().set("pin", *pin);
  // No Access-Control-Allow-Origin here, and tokens travel in the body, never
  // in a cookie: a page of another site can make a browser send a procedure
  // call, even past the preflight above, but cannot read the reply, and has no
  // login of the operator's to send along. Keep both.
  co_await respondJson(*session, result);
}

}  // namespace

std::shared_ptr<JsonApiRouter> newJsonApiRouter() { return newRouter<Procedure>(Procedure(unknownPath)); }

Handler jsonApiHandler(std::shared_ptr<JsonApiRouter> jsonHandlers) {
  return [jsonHandlers](std::shared_ptr<Session> session) { return jsonApiHandlerCore(session, jsonHandlers); };
}

asio::awaitable<void> jsonApiHandlerCore(std::shared_ptr<Session> session, std::shared_ptr<JsonApiRouter> jsonHandlers) {
  switch (session->request.reqMethod) {
    case HttpMethod::HttpOptions:
      co_await answerPreflight(*session);
      break;
    case HttpMethod::HttpPost:
      co_await callProcedure(session, jsonHandlers);
      break;
    default:
      raiseHttpException(400, ErrorCode::PostMethodRequired);
  }
}

const JsonValue& httpJsonMustGet(const JsonValue& value, std::string_view key) {
  if (!value.isObject())
    raiseHttpException(400, ErrorCode::InvalidFormat, "Cannot get field " + std::string(key) + " from an non-object");
  const JsonValue* field = value.asObject().find(key);
  if (field == nullptr) raiseHttpException(400, ErrorCode::MissingField, "Missing field " + std::string(key));
  return *field;
}

const std::string& httpJsonMustGetString(const JsonValue& value, std::string_view key) {
  const JsonValue& field = httpJsonMustGet(value, key);
  if (!field.isString())
    raiseHttpException(400, ErrorCode::InvalidFormat, "Field " + std::string(key) + " is not a string");
  return field.asString();
}

}  // namespace nc
