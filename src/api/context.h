// The application state every procedure works against: the settings from the
// command line, the token key and the account database.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "src/accounts/login.h"
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

// Creates the account table if missing, and on an empty table the first-run
// account.
void initAccounts(Context& context);

// Whether the "admin" account still has the password it was created with on
// first start; compared in constant time.
bool firstRunPasswordInUse(Database& db);

}  // namespace nc
