#include "src/api/context.h"

#include <iostream>
#include <utility>

#include "src/accounts/account_store.h"
#include "src/accounts/private_files.h"
#include "utils/chachapoly.h"

namespace nc {

namespace {

constexpr std::string_view createAccountTable =
    "create table if not exists account (\n"
    "  id            integer     primary key autoincrement,\n"
    "  username      varchar(64) not null,\n"
    "  password_hash varchar(32) not null,\n"
    "  password_salt varchar(32) not null,\n"
    "  unique(username)\n"
    ")\n";

constexpr std::string_view firstRunUser = "admin";
constexpr std::string_view firstRunPassword = "qzvtk";

}  // namespace

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
  // The key exists before the open so that a failed open still wipes it on
  // the way out.
  context->secret = genChachapolyKey();
  keepDatabasePrivate(context->dataPath, std::cout);
  context->db = Database::open(context->dataPath);
  return context;
}

void initAccounts(Context& context) {
  exec(context.db, createAccountTable);
  if (getAllRows(context.db, "select * from account limit 1").empty()) {
    createAccount(context.db, firstRunUser, firstRunPassword);
  }
}

bool firstRunPasswordInUse(Database& db) {
  try {
    return checkAccountPassword(db, firstRunUser, firstRunPassword);
  } catch (const UserNotFoundError&) {
    return false;
  }
}

}  // namespace nc
