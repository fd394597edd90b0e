#include "src/api/forwarder_procedures.h"

#include "server/http_error.h"
#include "server/http_handler.h"
#include "src/api/procedure_output.h"
#include "src/forwarder/apply.h"
#include "src/forwarder/config_file.h"
#include "src/forwarder/history.h"
#include "src/units/unit_status.h"

namespace nc {
namespace {

// `input.id`, a whole number.
int64_t versionIdOf(const JsonValue& body) {
  const JsonValue& id = httpJsonMustGet(httpJsonMustGet(body, "input"), "id");
  if (!id.isInt()) raiseHttpException(400, ErrorCode::InvalidFormat, "Field id is not an integer");
  return id.asInt();
}

// Runs a patch or restore and counts whether it held, for /metrics. A
// refusal before anything was applied (an unknown or unrestorable version)
// is not counted.
asio::awaitable<void> countedApply(Context& context, asio::awaitable<void> apply) {
  try {
    co_await std::move(apply);
  } catch (const ApplyFailedError&) {
    ++context.counts.appliesFailed;
    throw;
  }
  ++context.counts.appliesHeld;
}

JsonValue parseProblemJson(const JsonParseError& problem) {
  JsonObject json{{"message", std::string(problem.what())}};
  if (problem.line() > 0) {
    json.set("line", static_cast<int64_t>(problem.line()));
    json.set("column", static_cast<int64_t>(problem.column()));
  }
  return JsonValue(std::move(json));
}

}  // namespace

asio::awaitable<JsonValue> forwarderConfigGet(Context& context, const JsonValue&, std::string) {
  co_return output(co_await readForwarderConfig(context.forwarderConfigPath));
}

asio::awaitable<JsonValue> forwarderConfigRaw(Context& context, const JsonValue&, std::string) {
  ForwarderFileText file = co_await readForwarderText(context.forwarderConfigPath);
  JsonObject answer{{"text", std::move(file.text)}, {"valid", !file.problem}};
  if (file.problem) answer.set("error", parseProblemJson(*file.problem));
  co_return output(JsonValue(std::move(answer)));
}

asio::awaitable<JsonValue> forwarderConfigPatch(Context& context, const JsonValue& body, std::string account) {
  // A missing input is not a field error here: it fails as an internal error
  // (500), as callers have always seen it.
  const JsonValue& patch = body.asObject().at("input");
  co_await countedApply(context, applyForwarderPatch(forwarderTargetOf(context), patch, std::move(account)));
  co_return emptyOutput();
}

asio::awaitable<JsonValue> forwarderConfigHistory(Context& context, const JsonValue&, std::string) {
  JsonArray versions;
  for (const auto& version : listVersions(historyFolderFor(context.dataPath))) versions.push_back(versionJson(version));
  co_return output(JsonValue(std::move(versions)));
}

asio::awaitable<JsonValue> forwarderConfigVersion(Context& context, const JsonValue& body, std::string) {
  const int64_t id = versionIdOf(body);
  std::string text = versionText(historyFolderFor(context.dataPath), id);
  co_return output(JsonValue(JsonObject{{"id", id}, {"text", std::move(text)}}));
}

asio::awaitable<JsonValue> forwarderConfigRestore(Context& context, const JsonValue& body, std::string account) {
  co_await countedApply(context,
                        restoreForwarderVersion(forwarderTargetOf(context), versionIdOf(body), std::move(account)));
  co_return emptyOutput();
}

asio::awaitable<JsonValue> forwarderStatus(Context& context, const JsonValue&, std::string) {
  co_return output(co_await unitStatusReport(context.forwarderUnitServiceName));
}

}  // namespace nc
