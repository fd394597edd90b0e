// What the procedures work against, built once at start and handed to the
// procedure table: where the forwarder's file and unit are, the token key,
// the account database and the state of access.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "src/accounts/access_state.h"
#include "src/accounts/account_store.h"
#include "src/accounts/database.h"
#include "src/forwarder/apply.h"
#include "src/forwarder/traffic_feed.h"
#include "utils/buffer.h"

namespace nc {

// What the procedures count of their own outcomes since start, for /metrics.
struct ServiceCounts {
  uint64_t loginsThrottled = 0;      // refused by the throttle, password unread
  uint64_t loginsWrongPassword = 0;  // an existing account, a wrong password
  uint64_t loginsUnknownUser = 0;    // no such account
  uint64_t appliesHeld = 0;          // patches and restores that held
  uint64_t appliesFailed = 0;        // patches and restores that did not
};

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
  // The forwarder's reports from its journal; shared with the loop that keeps it current.
  std::shared_ptr<TrafficFeed> traffic;
  ServiceCounts counts;
  // The SHA-256 fingerprint of the certificate the port serves; empty in clear.
  std::string tlsFingerprint;
  // The password "admin" is created with on an empty database, and whose use
  // the factory-password banner reports; none when the operator's file for it
  // is missing.
  std::optional<std::string> firstRunPassword{std::string(factoryPassword)};
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
