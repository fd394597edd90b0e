// Issuing and checking the tokens that guarded procedures carry, and the
// fresh token a password change hands out while it ends all earlier ones.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "src/accounts/access_state.h"
#include "utils/buffer.h"

namespace nc {

// A token that opens but was issued before the last password change, or
// lacks the claims to tell.
class RevokedTokenError : public std::runtime_error {
 public:
  RevokedTokenError() : std::runtime_error("the token is from before the last password change") {}
};

class ExpiredTokenError : public std::runtime_error {
 public:
  ExpiredTokenError() : std::runtime_error("the token is older than its lifetime") {}
};

// Text that is no token at all (not Base64), or a token that names nobody.
class UnreadableTokenError : public std::runtime_error {
 public:
  UnreadableTokenError() : std::runtime_error("the token cannot be read") {}
};

// A token for `username` issued now, under the current password epoch.
std::string issueToken(const Buffer& key, const AccessState& state, std::string_view username);

// Opens a token and checks its claims; returns the user name it carries.
// Raises InvalidTokenError (does not open), RevokedTokenError,
// ExpiredTokenError or UnreadableTokenError.
std::string checkToken(const Buffer& key, const AccessState& state, std::string_view token);

// After a password change: every token issued before now is refused; returns
// a fresh one for `account`, the caller whose token the guard has checked.
std::string renewAfterPasswordChange(const Buffer& key, AccessState& state, std::string_view account);

}  // namespace nc
