#include "support/in_process_server.h"

#include <chrono>
#include <future>
#include <stdexcept>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/use_future.hpp>

namespace nc::test {

InProcessServer::InProcessServer(std::shared_ptr<HttpServer> server) {
  asio::co_spawn(io_, serve(server, 0, "127.0.0.1"), asio::detached);
  thread_ = std::thread([this] { io_.run(); });
  for (int attempt = 0; attempt < 500 && port_ == 0; ++attempt) {
    port_ = asio::post(io_, asio::use_future([server] { return server->server->boundPort; })).get();
    if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (port_ == 0) throw std::runtime_error("the in-process server did not start listening");
}

InProcessServer::~InProcessServer() {
  io_.stop();
  thread_.join();
}

}  // namespace nc::test
