#include "src/api/system_procedures.h"

#include "src/api/procedure_output.h"
#include "src/forwarder/config_file.h"
#include "src/system/clock_sync.h"
#include "src/system/host_facts.h"

namespace nc {
namespace {

// gateway_conf.gateway_ID of the forwarder's file; null when the file cannot
// be read or has none.
asio::awaitable<JsonValue> gatewayIdOf(std::string configPath) {
  JsonValue config;
  try {
    config = co_await readForwarderConfig(std::move(configPath));
  } catch (const std::exception&) {
    co_return JsonValue();
  }
  const JsonValue* gateway = config.isObject() ? config.asObject().find("gateway_conf") : nullptr;
  const JsonValue* id = gateway != nullptr && gateway->isObject() ? gateway->asObject().find("gateway_ID") : nullptr;
  co_return id != nullptr && id->isString() ? *id : JsonValue();
}

}  // namespace

asio::awaitable<JsonValue> systemInfo(Context& context, const JsonValue&, std::string) {
  JsonObject facts = hostFactsJson(context.dataPath);
  facts.set("version", NODECONSOLE_VERSION);
  facts.set("clock", co_await readClockSync());
  facts.set("gatewayId", co_await gatewayIdOf(context.forwarderConfigPath));
  facts.set("tlsFingerprint", context.tlsFingerprint.empty() ? JsonValue() : JsonValue(context.tlsFingerprint));
  co_return output(JsonValue(std::move(facts)));
}

}  // namespace nc
