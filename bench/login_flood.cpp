// Floods nodeconsole with wrong logins for the account "admin" from one or
// many loopback source addresses, while one more client, from 127.0.0.1,
// measures GET /health back to back. Prints how the service answered.
//
// Usage: login_flood PORT SECONDS CONNECTIONS SOURCES
// Connection i sends from source address i % SOURCES; the sources are
// 127.1.0.1, 127.1.0.2, ... (all of 127.0.0.0/8 reaches the loopback).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <asio.hpp>

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Tally {
  std::map<int, long> statuses;
  long failures = 0;  // connections that failed to connect or broke
  double firstHealthMs = 0;  // includes waiting for the service to accept the connection
  std::vector<double> healthMs;
};

asio::ip::address_v4 sourceAddress(unsigned index) {
  const unsigned host = index + 1;
  return asio::ip::make_address_v4((127u << 24) | (1u << 16) | ((host / 250) << 8) | (host % 250 + 1));
}

std::string loginRequest(unsigned guess) {
  const std::string body = R"({"username":"admin","password":"guess-)" + std::to_string(guess) + "\"}";
  return "POST /rpc/v1/login/password HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Reads one reply; returns its status code.
asio::awaitable<int> readReply(tcp::socket& socket, std::string& buffer) {
  const size_t headEnd = co_await asio::async_read_until(socket, asio::dynamic_buffer(buffer), "\r\n\r\n",
                                                          asio::use_awaitable);
  const int status = std::atoi(buffer.c_str() + 9);
  size_t length = 0;
  const size_t field = buffer.find("Content-Length: ");
  if (field != std::string::npos && field < headEnd) length = std::strtoul(buffer.c_str() + field + 16, nullptr, 10);
  if (buffer.size() < headEnd + length)
    co_await asio::async_read(socket, asio::dynamic_buffer(buffer), asio::transfer_exactly(headEnd + length - buffer.size()),
                              asio::use_awaitable);
  buffer.erase(0, headEnd + length);
  co_return status;
}

asio::awaitable<void> attack(unsigned id, asio::ip::address_v4 source, uint16_t port, Clock::time_point end, Tally& tally) {
  auto executor = co_await asio::this_coro::executor;
  unsigned guess = id << 20;
  while (Clock::now() < end) {
    tcp::socket socket(executor);
    try {
      socket.open(tcp::v4());
      socket.set_option(tcp::no_delay(true));
      socket.bind({source, 0});
      co_await socket.async_connect({asio::ip::address_v4::loopback(), port}, asio::use_awaitable);
      std::string buffer;
      while (Clock::now() < end) {
        co_await asio::async_write(socket, asio::buffer(loginRequest(++guess)), asio::use_awaitable);
        ++tally.statuses[co_await readReply(socket, buffer)];
      }
    } catch (const std::exception&) {
      ++tally.failures;
    }
  }
}

asio::awaitable<void> probeHealth(uint16_t port, Clock::time_point end, Tally& tally) {
  auto executor = co_await asio::this_coro::executor;
  tcp::socket socket(executor);
  socket.open(tcp::v4());
  socket.set_option(tcp::no_delay(true));
  co_await socket.async_connect({asio::ip::address_v4::loopback(), port}, asio::use_awaitable);
  const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  std::string buffer;
  while (Clock::now() < end) {
    const auto sent = Clock::now();
    co_await asio::async_write(socket, asio::buffer(request), asio::use_awaitable);
    if (co_await readReply(socket, buffer) != 200) ++tally.failures;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    if (tally.firstHealthMs == 0)
      tally.firstHealthMs = ms;
    else
      tally.healthMs.push_back(ms);
  }
}

double percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: login_flood PORT SECONDS CONNECTIONS SOURCES\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const int seconds = std::atoi(argv[2]);
  const unsigned connections = static_cast<unsigned>(std::atoi(argv[3]));
  const unsigned sources = static_cast<unsigned>(std::max(1, std::atoi(argv[4])));
  asio::io_context io(1);
  Tally tally;
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  auto onEnd = [&](std::exception_ptr failure) { if (failure) ++tally.failures; };
  for (unsigned i = 0; i < connections; ++i)
    asio::co_spawn(io, attack(i, sourceAddress(i % sources), port, end, tally), onEnd);
  asio::co_spawn(io, probeHealth(port, end, tally), onEnd);
  // Replies still on their way at the end are not waited for long.
  asio::steady_timer stop(io, end + std::chrono::seconds(5));
  stop.async_wait([&](std::error_code) { io.stop(); });
  io.run_for(std::chrono::seconds(seconds + 6));

  long replies = 0, checked = 0;
  std::string byStatus;
  for (auto [status, count] : tally.statuses) {
    replies += count;
    if (status != 429) checked += count;
    byStatus += " " + std::to_string(status) + ":" + std::to_string(count);
  }
  std::printf("login replies %ld (by status%s), broken connections %ld\n", replies, byStatus.c_str(), tally.failures);
  // Not scaled to a minute: the per-account cap counts whole minutes.
  std::printf("passwords checked %ld in %d s, replies %.0f per second\n", checked, seconds,
              static_cast<double>(replies) / seconds);
  std::printf("GET /health: first reply after %.3f ms (the connection waits to be accepted), then %zu replies: "
              "p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", tally.firstHealthMs, tally.healthMs.size(),
              percentile(tally.healthMs, 0.5), percentile(tally.healthMs, 0.99), percentile(tally.healthMs, 1.0));
  return 0;
}
