// The login: a password checked under the throttle, and a fresh token and
// device token when it matches.
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

struct LoginAttempt {
  std::string_view peerAddress;
  std::string_view username;
  std::string_view password;
  // What the browser presented; anything but a current device token of this
  // account counts as nothing, without a word, so that a guesser learns
  // nothing from it.
  std::string_view deviceToken = {};
};

struct LoginGrant {
  std::string token;
  std::string deviceToken;  // the browser's next one; the presented one is spent
};

// Checks the password of the attempt's user and returns a fresh token and
// device token. Raises LoginThrottledError, WrongPasswordError, or
// UserNotFoundError for a name that has no account. Written to `log`: an
// address's first refusal, then one line a minute while it is refused, its
// release, and each lock; all of them within the throttle's line budget.
LoginGrant logIn(Database& db, const Buffer& key, AccessState& state, const LoginAttempt& attempt,
                 Logger& log = serviceLog());

}  // namespace nc
