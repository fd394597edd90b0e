// Login accounts and their passwords, stored as keyed BLAKE2b-128 hashes under
// a fresh 12-byte salt per password, both in uppercase hex.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "src/accounts/database.h"

namespace nc {

class UserNotFoundError : public std::runtime_error {
 public:
  explicit UserNotFoundError(std::string_view username)
      : std::runtime_error("cannot find user " + std::string(username)) {}
};

class HashNotMatchError : public std::runtime_error {
 public:
  HashNotMatchError() : std::runtime_error("old password hashes do not match") {}
};

struct Account {
  int64_t id = 0;
  std::string username;
  std::string password_hash;
  std::string password_salt;
};

void createAccount(Database& db, std::string_view username, std::string_view password);
// User names compare exactly, letter case included.
Account getAccount(Database& db, std::string_view username);
bool checkAccountPassword(Database& db, std::string_view username, std::string_view password);
// The salt changes with every update, even to the same password. The account's
// device tokens are revoked with it: a password changed because it leaked
// must not leave a thief's browser recognised.
void updateAccountPassword(Database& db, std::string_view username, std::string_view currentPassword,
                           std::string_view newPassword);

// The password of the first-run account "admin" unless the operator gives another.
inline constexpr std::string_view factoryPassword = "qzvtk";

// Creates the account and device-token tables if missing, and on an empty
// account table the first-run account with `firstRunPassword`; without one,
// an empty table is an error.
void initAccountTable(Database& db, std::optional<std::string_view> firstRunPassword = factoryPassword);

// Whether the "admin" account still has the password it was created with on
// first start; compared in constant time.
bool firstRunPasswordInUse(Database& db, std::string_view firstRunPassword = factoryPassword);

}  // namespace nc
