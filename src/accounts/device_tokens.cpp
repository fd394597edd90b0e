#include "src/accounts/device_tokens.h"

#include "utils/blake2.h"
#include "utils/buffer.h"

namespace nc {
namespace {

constexpr std::string_view createDeviceTokenTable =
    "create table if not exists device_token (\n"
    "  token_hash   varchar(32) primary key,\n"
    "  account_id   integer     not null references account(id),\n"
    "  created_at   integer     not null,\n"
    "  last_used_at integer     not null\n"
    ")\n";

// Ties in last use (several logins within a second) go to the later insert.
const std::string keepMostRecentStatement =
    "delete from device_token where account_id = (select id from account where username = ?1) and rowid not in "
    "(select rowid from device_token where account_id = (select id from account where username = ?1) "
    "order by last_used_at desc, rowid desc limit " +
    std::to_string(maxDeviceTokensPerAccount) + ")";

std::string unixSeconds(DeviceClock::time_point at) {
  return std::to_string(std::chrono::floor<std::chrono::seconds>(at.time_since_epoch()).count());
}

std::string hashOf(const Buffer& token) { return hex(*blake2b(token)); }

std::optional<std::string> hashOfText(std::string_view token) {
  try {
    const BufferRef bytes = decodeBase64(token);
    if (bytes->nByte != deviceTokenBytes) return std::nullopt;
    return hashOf(*bytes);
  } catch (const BufferError&) {
    return std::nullopt;
  }
}

std::string insertToken(Database& db, std::string_view username, std::string_view createdAt,
                        DeviceClock::time_point now) {
  dropIdleDeviceTokens(db, now);
  const BufferRef token = newBufferRandomized(deviceTokenBytes);
  exec(db,
       "insert into device_token(token_hash, account_id, created_at, last_used_at) "
       "select ?, id, ?, ? from account where username = ?",
       {hashOf(*token), createdAt, unixSeconds(now), username});
  exec(db, keepMostRecentStatement, {username});
  return base64(*token);
}

}  // namespace

void initDeviceTokenTable(Database& db) { exec(db, createDeviceTokenTable); }

std::optional<KnownDevice> findDeviceToken(Database& db, std::string_view token, std::string_view username,
                                           DeviceClock::time_point now) {
  const std::optional<std::string> hash = hashOfText(token);
  if (!hash) return std::nullopt;
  const auto rows = getAllRows(db,
                               "select d.created_at from device_token d join account a on a.id = d.account_id "
                               "where d.token_hash = ? and a.username = ? and d.last_used_at > ?",
                               {*hash, username, unixSeconds(now - deviceTokenIdleLimit)});
  if (rows.empty()) return std::nullopt;
  return KnownDevice{*hash, std::stoll(rows.front()[0])};
}

std::string issueDeviceToken(Database& db, std::string_view username, DeviceClock::time_point now) {
  return insertToken(db, username, unixSeconds(now), now);
}

std::string renewDeviceToken(Database& db, std::string_view username, const KnownDevice& device,
                             DeviceClock::time_point now) {
  std::string token;
  inTransaction(db, [&] {
    exec(db, "delete from device_token where token_hash = ?", {device.tokenHash});
    token = insertToken(db, username, std::to_string(device.createdAt), now);
  });
  return token;
}

void revokeDeviceTokens(Database& db, std::string_view username) {
  exec(db, "delete from device_token where account_id = (select id from account where username = ?)", {username});
}

void dropIdleDeviceTokens(Database& db, DeviceClock::time_point now) {
  exec(db, "delete from device_token where last_used_at <= ?", {unixSeconds(now - deviceTokenIdleLimit)});
}

}  // namespace nc
