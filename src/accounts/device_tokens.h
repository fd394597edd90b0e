// Browsers that have logged in before, known by a token each one keeps. The
// table holds only a BLAKE2b hash of each token, so a copy of the database
// recognises no browser; a token is good for one login, which hands out the
// next.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/accounts/database.h"

namespace nc {

// Device tokens outlive the process, so their times are on the wall clock. A
// gateway whose clock jumps forward at its first time sync forgets its
// browsers, which then log in as strangers once: the safe way to be wrong.
using DeviceClock = std::chrono::system_clock;

// Browsers one account keeps at once: an operator's few machines with room to
// spare; past it, the one unused longest is forgotten.
inline constexpr int maxDeviceTokensPerAccount = 20;
// A browser unused this long is forgotten: an old laptop or a lost phone
// should not stay recognised for good.
inline constexpr std::chrono::hours deviceTokenIdleLimit{24 * 90};
// Random bytes in a token: as many as the login token's key, so guessing one
// is no easier than forging a login token.
inline constexpr int64_t deviceTokenBytes = 32;

struct KnownDevice {
  std::string tokenHash;  // how the table and the throttle name the browser
  int64_t createdAt = 0;  // Unix seconds of the browser's first login
};

// Creates the table when it is missing; databases from before it keep working.
void initDeviceTokenTable(Database& db);

// The browser behind `token` when it is a current token of `username`'s
// account; nullopt for anything else, malformed text included.
std::optional<KnownDevice> findDeviceToken(Database& db, std::string_view token, std::string_view username,
                                           DeviceClock::time_point now);

// A new token for `username`'s account, as padded Base64. The account keeps
// its most recently used tokens up to the bound; idle ones are dropped.
std::string issueDeviceToken(Database& db, std::string_view username, DeviceClock::time_point now);

// The next token for a browser that has just logged in with `device`: the
// presented one is revoked in the same transaction, so it serves once.
std::string renewDeviceToken(Database& db, std::string_view username, const KnownDevice& device,
                             DeviceClock::time_point now);

// Every token of `username`'s account, as after a password change.
void revokeDeviceTokens(Database& db, std::string_view username);

void dropIdleDeviceTokens(Database& db, DeviceClock::time_point now);

}  // namespace nc
