// The login: a password checked under the throttle, and a fresh token when it
// matches.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

#include "src/accounts/access_state.h"
#include "src/accounts/database.h"
#include "utils/buffer.h"
#include "utils/logger.h"

namespace nc {

// A login refused by the throttle before its password was looked at.
class LoginThrottledError : public std::runtime_error {
 public:
  explicit LoginThrottledError(std::chrono::seconds wait)
      : std::runtime_error("login throttled for " + std::to_string(wait.count()) + " s"), wait(wait) {}
  std::chrono::seconds wait;  // until the next login may be tried
};

class WrongPasswordError : public std::runtime_error {
 public:
  WrongPasswordError() : std::runtime_error("wrong password") {}
};

// Checks the password of `username` for a login from `peerAddress` and
// returns a fresh token. Raises LoginThrottledError, WrongPasswordError, or
// UserNotFoundError for a name that has no account. Written to `log`: an
// address's first refusal, then one line a minute while it is refused, its
// release, and each lock; all of them within the throttle's line budget.
std::string logIn(Database& db, const Buffer& key, AccessState& state, std::string_view peerAddress,
                  std::string_view username, std::string_view password, Logger& log = serviceLog());

}  // namespace nc
