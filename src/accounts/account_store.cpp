#include "src/accounts/account_store.h"

#include <sodium.h>

#include <charconv>

#include "src/accounts/device_tokens.h"
#include "utils/blake2.h"
#include "utils/buffer.h"

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

std::string hashPassword(std::string_view password, const Buffer& salt) {
  const BufferRef plain = newBuffer(password);
  const WipeOnExit wipe(*plain);
  return hex(*blake2b(*plain, &salt));
}

// Constant time for equal lengths, so response timing does not reveal how
// much of a guessed hash was right.
bool sameHash(const std::string& computed, const std::string& stored) {
  return computed.size() == stored.size() && sodium_memcmp(computed.data(), stored.data(), computed.size()) == 0;
}

int64_t parseId(const std::string& text) {
  int64_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw std::range_error("account id is not a decimal integer: " + text);
  }
  return id;
}

}  // namespace

void createAccount(Database& db, std::string_view username, std::string_view password) {
  const BufferRef salt = genBlake2bSalt();
  exec(db, "insert into account(username, password_hash, password_salt) values (?, ?, ?)",
       {username, hashPassword(password, *salt), hex(*salt)});
}

Account getAccount(Database& db, std::string_view username) {
  const auto rows = getAllRows(
      db, "select id, username, password_hash, password_salt from account where username = ?", {username});
  if (rows.empty()) {
    throw UserNotFoundError(username);
  }
  const DbRow& row = rows.front();
  return Account{parseId(row[0]), row[1], row[2], row[3]};
}

bool checkAccountPassword(Database& db, std::string_view username, std::string_view password) {
  const Account account = getAccount(db, username);
  const BufferRef salt = decodeHex(account.password_salt);
  return sameHash(hashPassword(password, *salt), account.password_hash);
}

void updateAccountPassword(Database& db, std::string_view username, std::string_view currentPassword,
                           std::string_view newPassword) {
  if (!checkAccountPassword(db, username, currentPassword)) {
    throw HashNotMatchError();
  }
  const BufferRef salt = genBlake2bSalt();
  inTransaction(db, [&] {
    exec(db, "update account set password_hash = ?, password_salt = ? where username = ?",
         {hashPassword(newPassword, *salt), hex(*salt), username});
    revokeDeviceTokens(db, username);
  });
}

void initAccountTable(Database& db, std::optional<std::string_view> firstRunPassword) {
  exec(db, createAccountTable);
  initDeviceTokenTable(db);
  if (!getAllRows(db, "select * from account limit 1").empty()) return;
  if (!firstRunPassword) throw std::runtime_error("the first account cannot be made: its initial password is missing");
  createAccount(db, firstRunUser, *firstRunPassword);
}

bool firstRunPasswordInUse(Database& db, std::string_view firstRunPassword) {
  try {
    return checkAccountPassword(db, firstRunUser, firstRunPassword);
  } catch (const UserNotFoundError&) {
    return false;
  }
}

}  // namespace nc
