// The handlers the service mounts besides its procedures and files: the health
// check, the redirect at the root, and the failure catcher.
#pragma once

#include <memory>

#include <asio/awaitable.hpp>

#include "server/http_error.h"
#include "server/http_server.h"
#include "server/http_session.h"

namespace nc {

// 200 with {"<compiler>":"<compiler version>"} of the toolchain that built the binary.
asio::awaitable<void> healthCheck(std::shared_ptr<Session> session);

// 302 to "/ui" with an empty body.
asio::awaitable<void> rootRedirect(std::shared_ptr<Session> session);

// The service's failure table: an unknown user name at login and a wrong
// current password at the password update both answer 400 "Password mismatch".
FailureTable serviceFailures();

// The service's error hook: answers from serviceFailures() and prints the
// message of any other failure on one line of standard output.
ErrorHook newFailureCatcher();

}  // namespace nc
