#include "server/http_server.h"

#include <cassert>

namespace nc {
namespace {

asio::awaitable<void> notFound(std::shared_ptr<Session> session) { co_await respondStatus(*session, 404); }

// The address and port the request came in on, for a client that named no host.
std::string localAuthority(Connection& connection) {
  std::error_code error;
  const auto local = connection.socket().local_endpoint(error);
  if (error) return {};
  const std::string address = local.address().to_string();
  const std::string host = local.address().is_v6() ? "[" + address + "]" : address;
  return host + ":" + std::to_string(local.port());
}

// A client that spoke in clear to a port that speaks TLS is sent to the same
// place over TLS. The Host check has passed by now, so no foreign name is echoed.
asio::awaitable<void> redirectToTls(const Session& session) {
  const HttpRequest& request = session.request;
  std::string authority(request.headers.first("host"));
  if (authority.empty()) authority = localAuthority(*request.client);
  const std::string target = request.url.path + (request.url.query.empty() ? "" : "?" + request.url.query);
  HttpHeaders headers;
  headers.set("location", "https://" + authority + target);
  headers.set("connection", "close");
  co_await respond(session, 308, {}, headers);
}

}  // namespace

std::shared_ptr<HttpServer> newHttpServer(int64_t maxBody) {
  auto server = std::make_shared<HttpServer>();
  server->server = newAsyncHttpServer(true, maxBody);
  server->router = newRouter<Handler>(Handler(notFound));
  server->onError = answerFailures(FailureTable());
  return server;
}

void mount(HttpServer& server, std::string_view path, Handler handler) {
  mount(server.router, path, std::move(handler));
}

void catchErrors(HttpServer& server, ErrorHook hook) {
  assert(hook && "the error hook must not be empty");
  server.onError = std::move(hook);
}

namespace {

struct FailureAnswering {
  FailureTable failures;
  FailureReporter report;
};

// A plain function rather than a capturing coroutine lambda, so that the
// coroutine owns everything it uses whoever holds the hook.
asio::awaitable<void> answerFailure(std::shared_ptr<const FailureAnswering> answering,
                                    std::shared_ptr<Session> session, std::exception_ptr failure) {
  FailureReply reply = answering->failures.replyFor(failure);
  if (reply.unexpected && answering->report) answering->report(*reply.unexpected);
  co_await respondJson(*session, reply.status, reply.body, std::move(reply.headers));
}

}  // namespace

ErrorHook answerFailures(FailureTable failures, FailureReporter report) {
  // Built in braces and moved in: clang 14 cannot construct an aggregate from
  // make_shared's parentheses.
  auto answering = std::make_shared<const FailureAnswering>(FailureAnswering{std::move(failures), std::move(report)});
  return [answering](std::shared_ptr<Session> session, std::exception_ptr failure) {
    return answerFailure(answering, std::move(session), std::move(failure));
  };
}

// The session names the transport's request record rather than holding a
// copy of it: a copy per request (the header table, the URL's parts and every
// value) and its release were about a tenth of the instructions of a /health
// request (bench/profile.sh). So no handler may keep the session beyond its
// reply; the check below holds them to it in the test builds.
asio::awaitable<void> dispatch(const HttpServer& server, HttpRequest& request) {
  auto [handler, rest] = route(server.router, request.url.path);
  auto session = newSession(std::move(rest), request);
  std::exception_ptr failure;
  try {
    if (server.allowedHosts && !requestNamesThisService(*server.allowedHosts, session->request))
      raiseHttpException(403, ErrorCode::Forbidden);
    if (request.client->redirectsToTls()) {
      co_await redirectToTls(*session);
    } else {
      co_await handler(session);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure && server.onError) {
    try {
      co_await server.onError(session, failure);
    } catch (...) {
      // A failing hook has nothing left to tell the client; the connection goes on.
    }
  }
  server.replies->count(session->replyStatus);
  assert(session.use_count() == 1 && "a handler kept the session beyond its request");
  // Nothing but that one reply is answered in clear on a TLS port.
  if (request.client->redirectsToTls()) request.client->close();
}

asio::awaitable<void> serve(std::shared_ptr<HttpServer> server, uint16_t port, std::string address) {
  HttpCallback callback = [server](HttpRequest& request) { return dispatch(*server, request); };
  co_await serve(server->server, port, std::move(callback), std::move(address), assumedDescriptorsPerRequest);
}

}  // namespace nc
