// The handlers the service mounts besides its procedures and files: the health
// check and the redirect at the root.
#pragma once

#include <memory>

#include <asio/awaitable.hpp>

#include "server/http_server.h"
#include "server/http_session.h"

namespace nc {

// 200 with {"<compiler>":"<compiler version>"} of the toolchain that built the binary.
asio::awaitable<void> healthCheck(std::shared_ptr<Session> session);

// 302 to "/ui" with an empty body.
asio::awaitable<void> rootRedirect(std::shared_ptr<Session> session);

}  // namespace nc
