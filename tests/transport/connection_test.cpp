#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "support/read_only_bytes.h"
#include "support/run_awaitable.h"
#include "support/test_support.h"
#include "transport/executable_file.h"
#include "transport/http_types.h"

namespace nc {
namespace {

using namespace std::chrono_literals;

std::string pattern(size_t size, char seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(seed + i % 61);
  return text;
}

// A reply far larger than the socket buffers, to a client that starts reading
// late: the write stops part way, in the middle of a piece, and the rest must
// follow from exactly there.
TEST(Connection, sendResumesWhereTheSocketBufferFilled) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address_v4("127.0.0.1"), 0});
  test::RawClient client(acceptor.local_endpoint().port(), 20s);
  Connection connection(acceptor.accept());
  const std::string head = pattern(100, 'a');
  const std::string body = pattern(24 << 20, 'b');
  const std::string tail = pattern(7, 'c');
  const std::vector<asio::const_buffer> pieces{asio::buffer(head), asio::buffer(std::string_view()),
                                               asio::buffer(body), asio::buffer(tail)};
  std::string received;
  std::thread reader([&] {
    std::this_thread::sleep_for(200ms);
    received = client.readExactly(head.size() + body.size() + tail.size());
  });
  test::runAwaitable(io, connection.send(pieces));
  reader.join();
  EXPECT_FALSE(connection.isClosed());
  ASSERT_EQ(received.size(), head.size() + body.size() + tail.size());
  EXPECT_TRUE(received == head + body + tail);
}

// The same with a large embedded body, which leaves from the executable file
// with sendfile() behind the head: small socket buffers and a late reader make
// it wait for room several times.
TEST(Connection, aReadOnlyBodyLeavesWhole) {
  const std::string_view body = test::readOnlyBytes();
  ASSERT_TRUE(executableFileSpan(body.data(), body.size()));
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address_v4("127.0.0.1"), 0});
  test::RawClient client(acceptor.local_endpoint().port(), 20s);
  Connection connection(acceptor.accept());
  connection.socket().set_option(asio::socket_base::send_buffer_size(16384));
  const std::string head = pattern(100, 'a');
  std::string received;
  std::thread reader([&] {
    std::this_thread::sleep_for(200ms);
    received = client.readExactly(head.size() + body.size());
  });
  test::runAwaitable(io, connection.sendEmbedded(head, body));
  reader.join();
  EXPECT_FALSE(connection.isClosed());
  ASSERT_EQ(received.size(), head.size() + body.size());
  EXPECT_TRUE(received.substr(0, head.size()) == head);
  EXPECT_TRUE(std::string_view(received).substr(head.size()) == body);
}

// sendfile() to a peer that has gone raises SIGPIPE, whose default action
// would end this test: the send ends quietly and closes the connection.
TEST(Connection, aPeerGoneDuringAReadOnlyBodyEndsTheSendQuietly) {
  const std::string_view body = test::readOnlyBytes();
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address_v4("127.0.0.1"), 0});
  std::optional<test::RawClient> client;
  client.emplace(acceptor.local_endpoint().port(), 5s);
  Connection connection(acceptor.accept());
  connection.socket().set_option(asio::socket_base::send_buffer_size(16384));
  client.reset();
  const std::string head = pattern(100, 'a');
  for (int attempt = 0; attempt < 3 && !connection.isClosed(); ++attempt) {
    test::runAwaitable(io, connection.sendEmbedded(head, body));
  }
  EXPECT_TRUE(connection.isClosed());
}

}  // namespace
}  // namespace nc
