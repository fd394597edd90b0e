#include "src/api/context.h"

#include <utility>

#include "src/accounts/account_store.h"
#include "src/accounts/device_tokens.h"
#include "src/accounts/private_files.h"
#include "src/forwarder/history.h"
#include "utils/chachapoly.h"
#include "utils/logger.h"

namespace nc {

Context::~Context() {
  if (secret) {
    zeroize(*secret);
  }
}

std::shared_ptr<Context> newContext(std::string forwarderConfigPath, std::string forwarderUnitServiceName,
                                    std::string dataPath) {
  auto context = std::make_shared<Context>();
  context->forwarderConfigPath = std::move(forwarderConfigPath);
  context->forwarderUnitServiceName = std::move(forwarderUnitServiceName);
  context->dataPath = std::move(dataPath);
  context->traffic = std::make_shared<TrafficFeed>(context->forwarderUnitServiceName);
  // The key exists before the open so that a failed open still wipes it on
  // the way out.
  context->secret = genChachapolyKey();
  keepDatabasePrivate(context->dataPath, serviceLog());
  context->db = Database::open(context->dataPath);
  return context;
}

void initAccounts(Context& context) {
  initAccountTable(context.db, context.firstRunPassword);
  dropIdleDeviceTokens(context.db, context.access.wallNow());
}

ForwarderTarget forwarderTargetOf(const Context& context) {
  return {context.forwarderConfigPath, context.forwarderUnitServiceName, historyFolderFor(context.dataPath),
          context.forwarderSettleWindow};
}

}  // namespace nc
