// The handlers the service mounts besides its procedures and files: the health
// check, the redirect at the root, and the failure catcher.
#pragma once

#include <exception>
#include <memory>

#include <asio/awaitable.hpp>

#include "server/http_session.h"

namespace nc {

// 200 with {"<compiler>":"<compiler version>"} of the toolchain that built the binary.
asio::awaitable<void> healthCheck(std::shared_ptr<Session> session);

// 302 to "/ui" with an empty body.
asio::awaitable<void> rootRedirect(std::shared_ptr<Session> session);

// HttpException: its own status and body. The two account errors: 400 with
// "Password mismatch". Anything else: its message on standard output and 500.
asio::awaitable<void> failureCatcher(std::shared_ptr<Session> session, std::exception_ptr error);

}  // namespace nc
