// What the procedures work against, built once at start and handed to the
// procedure table: where the forwarder's file and unit are, the token key,
// the account database and the state of access.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "src/accounts/access_state.h"
#include "src/accounts/database.h"
#include "src/forwarder/apply.h"
#include "utils/buffer.h"

namespace nc {

struct Context {
  Context() = default;
  // The token key must not outlive the process in freed memory.
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  std::string forwarderConfigPath;
  std::string forwarderUnitServiceName;  // empty: nothing is restarted
  std::string dataPath;
  // How long a restarted forwarder must stay up; tests shorten it.
  std::chrono::milliseconds forwarderSettleWindow = defaultSettleWindow;
  BufferRef secret;  // 32-byte token key, made fresh at every start, never stored
  Database db;
  AccessState access;  // login throttle, token lifetime and password epoch
};

// Makes the token key and opens (creating if needed) the database file, whose
// files only their owner may read.
std::shared_ptr<Context> newContext(std::string forwarderConfigPath, std::string forwarderUnitServiceName,
                                    std::string dataPath);

// Creates the account and device-token tables if missing, and on an empty
// account table the first-run account; drops device tokens unused too long.
void initAccounts(Context& context);

// What the verified apply needs of the context.
ForwarderTarget forwarderTargetOf(const Context& context);

}  // namespace nc
