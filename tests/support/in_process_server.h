// Runs a framework server on a free loopback port on a background thread of
// the test process; stops it when the object goes away.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include <asio/io_context.hpp>

#include "server/http_server.h"

namespace nc::test {

class InProcessServer {
 public:
  explicit InProcessServer(std::shared_ptr<HttpServer> server);
  ~InProcessServer();
  InProcessServer(const InProcessServer&) = delete;
  InProcessServer& operator=(const InProcessServer&) = delete;

  uint16_t port() const { return port_; }

 private:
  asio::io_context io_{1};
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace nc::test
