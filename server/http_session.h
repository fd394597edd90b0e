// One request as a handler sees it, and the reply writers.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <asio/awaitable.hpp>

#include "transport/http_types.h"
#include "transport/reply_writing.h"
#include "utils/json.h"

namespace nc {

// One request on its way through the handlers. It lives no longer than the
// request's dispatch (server/http_server.cpp), which waits for every handler:
// the request it names is the transport's own record, which the connection's
// reader reuses for the next request once the reply is out.
struct Session {
  // make_shared constructs with parentheses, which clang 14 does not
  // accept for an aggregate.
  Session(std::string path, HttpRequest& request) : path(std::move(path)), request(request) {}

  std::string path;  // the rest of the URL path after the handler's mount prefix
  HttpRequest& request;
  // The status of the reply written, 0 before one is; the reply writers set
  // it through the const session they are given, for the server's counts.
  mutable int replyStatus = 0;
};

std::shared_ptr<Session> newSession(std::string path, HttpRequest& request);

// Base form: status line, the given headers with capitalised names, the true
// Content-Length, blank line, body.
asio::awaitable<void> respond(const Session& session, int code, std::string_view body = {},
                              const HttpHeaders& headers = {});
// The same with fields prepared once, for replies that send the same ones again and again.
asio::awaitable<void> respond(const Session& session, int code, std::string_view body,
                              const PreparedHeaders& headers);

// Embedded form: the base form for a body of the executable's read-only data,
// such as the embedded web UI's files; a large one leaves from the executable
// file with sendfile() instead of being copied (transport/connection.h).
// Its fields come prepared, since a file's are the same on every reply.
asio::awaitable<void> respondEmbedded(const Session& session, int code, std::string_view body,
                                      const PreparedHeaders& headers);

// Head-only form, for a HEAD request or a 304: the head the base form would
// write for a body of `contentLength` bytes, without the body; no length
// line when it is nullopt.
asio::awaitable<void> respondHeadOnly(const Session& session, int code, std::optional<size_t> contentLength,
                                      const PreparedHeaders& headers);

// The fields of a JSON reply that brings none of its own: Content-Type
// "application/json", prepared once.
const PreparedHeaders& jsonFields();

// JSON form: Content-Type "application/json" and the compact JSON text as body.
asio::awaitable<void> respondJson(const Session& session, int code, const JsonValue& value, HttpHeaders headers = {});
asio::awaitable<void> respondJson(const Session& session, const JsonValue& value, HttpHeaders headers = {});

// Status-only form: the body is the status text itself, e.g. "404 Not Found".
asio::awaitable<void> respondStatus(const Session& session, int code, const HttpHeaders& headers = {});

}  // namespace nc
