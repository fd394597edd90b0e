// The framework's front object: mounts handlers under path prefixes, wraps each
// request in a Session, runs the chosen handler and lets the error hook answer
// when it fails.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "server/host_check.h"
#include "server/http_error.h"
#include "server/http_session.h"
#include "server/router.h"
#include "transport/async_http_server.h"

namespace nc {

using Handler = std::function<asio::awaitable<void>(std::shared_ptr<Session>)>;
using ErrorHook = std::function<asio::awaitable<void>(std::shared_ptr<Session>, std::exception_ptr)>;

// Replies the handlers and the error hook wrote, by status class (1xx to
// 5xx). Requests the transport refuses itself (400, 413, 431, 503 while
// reading) never reach the server and are not among them.
struct ReplyCounts {
  std::array<uint64_t, 5> byClass{};
  void count(int status) {
    if (status >= 100 && status < 600) ++byClass[static_cast<size_t>(status / 100 - 1)];
  }
};

struct HttpServer {
  std::shared_ptr<AsyncHttpServer> server;
  std::shared_ptr<ReplyCounts> replies = std::make_shared<ReplyCounts>();
  std::shared_ptr<Router<Handler>> router;
  ErrorHook onError;
  // When set, a request that names another host is refused with 403 before
  // any handler runs.
  std::optional<AllowedHosts> allowedHosts;
};

// Descriptors one request may hold at once, for the transport's accept
// throttle: its connection, and up to four that a procedure opens while it
// runs (the forwarder configuration and the folder it is replaced in, the
// database's journal, a service command's output).
inline constexpr int assumedDescriptorsPerRequest = 5;

std::shared_ptr<HttpServer> newHttpServer(int64_t maxBody);
void mount(HttpServer& server, std::string_view path, Handler handler);
// Replaces the error hook (`catch` is a C++ keyword).
void catchErrors(HttpServer& server, ErrorHook hook);
asio::awaitable<void> serve(std::shared_ptr<HttpServer> server, uint16_t port, std::string address);

// Told the text of a failure that the table does not know.
using FailureReporter = std::function<void(const std::string& text)>;

// The error hook: answers each failure as `failures` says with a JSON error
// body, and hands the text of an unexpected one to `report` when there is one.
// A new server answers with an empty table and reports nothing.
ErrorHook answerFailures(FailureTable failures, FailureReporter report = {});

// Routes one request and runs its handler; never fails.
asio::awaitable<void> dispatch(const HttpServer& server, HttpRequest& request);

}  // namespace nc
