// The transport's own replies to requests it refuses.
#pragma once

#include <string_view>

#include <asio/awaitable.hpp>

#include "transport/http_types.h"

namespace nc {

// "HTTP/1.1 <code and phrase>", a Content-Length line, and the code and phrase
// again as the body.
asio::awaitable<void> respondError(HttpRequest& request, int code);

// "HTTP/1.1 <statusText>" and a blank line: no headers, no body.
asio::awaitable<void> sendStatus(Connection& connection, std::string_view statusText);

}  // namespace nc
