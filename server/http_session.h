// One request as a handler sees it, and the reply writers.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "transport/http_types.h"
#include "utils/json.h"

namespace nc {

// The application context. The framework only stores it and hands it on.
struct Context;

struct Session {
  std::string path;  // the rest of the URL path after the handler's mount prefix
  HttpRequest request;
  std::shared_ptr<Context> context;
};

// Takes the request over; the server's dispatch hands it back to the
// transport once the handler is done.
std::shared_ptr<Session> newSession(std::shared_ptr<Context> context, std::string path, HttpRequest&& request);

// Base form: status line, the given headers, Content-Length, blank line, body.
asio::awaitable<void> respond(const Session& session, int code, std::string_view body = {},
                              const HttpHeaders& headers = {});

// JSON form: Content-Type "application/json" and the compact JSON text as body.
asio::awaitable<void> respondJson(const Session& session, int code, const JsonValue& value, HttpHeaders headers = {});
asio::awaitable<void> respondJson(const Session& session, const JsonValue& value, HttpHeaders headers = {});

// Status-only form: the body is the status text itself, e.g. "404 Not Found".
asio::awaitable<void> respondStatus(const Session& session, int code, const HttpHeaders& headers = {});

// "content-type" -> "Content-Type", "contentType" -> "Content-Type", "x--y" -> "X-Y".
std::string httpHeaderCase(std::string_view name);

}  // namespace nc
