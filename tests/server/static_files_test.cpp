#include <gtest/gtest.h>

#include <array>

#include "server/static_files.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

constexpr std::string_view immutable = "public, max-age=31536000, immutable";

const std::array<UiFile, 4> files{{
    {"robots.txt", "text/plain", "User-agent: *", "\"robots\"", {"GZ-robots", "\"robots-gz\""}},
    {"index.html", "text/html", "<!doctype html><title>LoRa Gateway</title>", "\"index\"",
     {"GZ-index", "\"index-gz\""}, {"BR-index", "\"index-br\""}},
    {"assets/app.js", "application/javascript", "console.log(1)", "\"app\"", {"GZ-app", "\"app-gz\""},
     {"BR-app", "\"app-br\""}},
    {"assets/app.css", "text/css", "body{}", "\"css\""},
}};

// The exact reply for a file as sent in one encoding (identity when empty).
std::string reply(std::string_view type, std::string_view body, std::string_view etag,
                  std::string_view cacheControl = "no-cache", std::string_view encoding = {}, bool varies = true) {
  std::string text = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(type) + "\r\n";
  if (!encoding.empty()) text += "Content-Encoding: " + std::string(encoding) + "\r\n";
  if (varies) text += "Vary: Accept-Encoding\r\n";
  text += "Cache-Control: " + std::string(cacheControl) + "\r\nEtag: " + std::string(etag) + "\r\n";
  return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

// The replies counted so far, by class, read on the server's own thread.
asio::awaitable<void> replyCounts(std::shared_ptr<ReplyCounts> replies, std::shared_ptr<Session> session) {
  std::string counts;
  for (uint64_t count : replies->byClass) counts += std::to_string(count) + " ";
  co_await respond(*session, 200, counts);
}

class StaticFiles : public ::testing::Test {
 protected:
  StaticFiles() {
    auto server = newHttpServer(4096);
    mount(*server, "ui", embeddedFileHandler(files));
    mount(*server, "counts",
          [replies = server->replies](std::shared_ptr<Session> session) { return replyCounts(replies, session); });
    running_ = std::make_unique<InProcessServer>(server);
  }
  std::string get(const std::string& path, const std::string& headers = {}, const std::string& method = "GET") {
    std::string extra = method == "POST" ? "Content-Length: 2\r\n\r\n{}" : "\r\n";
    return roundTrip(running_->port(), method + " " + path + " HTTP/1.1\r\n" + headers + extra);
  }
  uint16_t port() const { return running_->port(); }

 private:
  std::unique_ptr<InProcessServer> running_;
};

std::string headerOf(const std::string& reply, const std::string& name) {
  auto at = reply.find("\r\n" + name + ": ");
  if (at == std::string::npos || at > reply.find("\r\n\r\n")) return "(absent)";
  at += name.size() + 4;
  return reply.substr(at, reply.find("\r\n", at) - at);
}

}  // namespace

TEST_F(StaticFiles, lookupFallbackAndMethods) {
  const std::string index = reply("text/html", "<!doctype html><title>LoRa Gateway</title>", "\"index\"");
  const std::string script = reply("application/javascript", "console.log(1)", "\"app\"", immutable);
  EXPECT_EQ(get("/ui"), index);
  EXPECT_EQ(get("/ui/"), index);
  EXPECT_EQ(get("/ui/index.html"), index);
  EXPECT_EQ(get("/ui/login"), index);
  EXPECT_EQ(get("/ui/favicon.ico"), index);
  EXPECT_EQ(get("/ui/assets/unknown.js"), index);
  EXPECT_EQ(get("/ui/assets"), index);
  EXPECT_EQ(get("/ui/assets/app.js"), script);
  EXPECT_EQ(get("/ui/assets/app.js?v=2"), script);
  EXPECT_EQ(get("/ui//assets///app.css"), reply("text/css", "body{}", "\"css\"", immutable, {}, false));
  EXPECT_EQ(get("/ui/robots.txt/extra"), reply("text/plain", "User-agent: *", "\"robots\""));
  EXPECT_EQ(get("/ui/assets/app.js", {}, "POST"), script);
  EXPECT_EQ(get("/ui/robots.txt", {}, "DELETE"), reply("text/plain", "User-agent: *", "\"robots\""));
  // Each file reply counts among the 2xx of the service's metrics; a 304 among the 3xx.
  get("/ui/", "If-None-Match: \"index\"\r\n");
  EXPECT_EQ(bodyOf(get("/counts")), "0 13 1 0 0 ");
}

TEST_F(StaticFiles, acceptEncodingPicksTheBestOfferedCoding) {
  struct Case {
    std::string acceptEncoding;  // the header line's value; "(absent)" for none
    std::string expectedBody;
  };
  const std::vector<Case> cases{
      {"(absent)", "console.log(1)"},
      {"", "console.log(1)"},
      {"br", "BR-app"},
      {"gzip", "GZ-app"},
      {"GZIP", "GZ-app"},
      {"x-gzip", "GZ-app"},
      {"gzip, deflate, br", "BR-app"},
      {"gzip, br;q=1", "BR-app"},
      {"gzip;q=1.0, br;q=0.999", "GZ-app"},
      {"gzip;q=0.5, br;q=0.4, identity;q=0.6", "console.log(1)"},
      {"br;q=0, gzip", "GZ-app"},
      {"gzip;q=0", "console.log(1)"},
      {"gzip;q=0, br;q=0", "console.log(1)"},
      {"identity;q=0, gzip", "GZ-app"},
      {"identity;q=0", "console.log(1)"},
      {"*", "BR-app"},
      {"*;q=0.5, br;q=0.1", "GZ-app"},
      {"*;q=0", "console.log(1)"},
      {"*, br;q=0", "GZ-app"},
      {"gzip ; Q=0.3 , br ; q=0.2", "GZ-app"},
      {"deflate, compress", "console.log(1)"},
      {";;;,,,=q=", "console.log(1)"},
      {"br;q=2, gzip;q=abc", "console.log(1)"},
      {"br;q=0.1234, gzip;q=0.123", "GZ-app"},
      {"br;q, gzip", "GZ-app"},
  };
  for (const auto& [acceptEncoding, expectedBody] : cases) {
    SCOPED_TRACE("Accept-Encoding: " + acceptEncoding);
    std::string line = acceptEncoding == "(absent)" ? "" : "Accept-Encoding: " + acceptEncoding + "\r\n";
    std::string got = get("/ui/assets/app.js", line);
    EXPECT_EQ(bodyOf(got), expectedBody);
    std::string encoding = expectedBody.starts_with("BR") ? "br" : expectedBody.starts_with("GZ") ? "gzip" : "";
    EXPECT_EQ(got, reply("application/javascript", expectedBody, headerOf(got, "Etag"), immutable, encoding));
  }
  // A file without a Brotli copy falls back to gzip; one with no copies is
  // plain and says nothing about varying.
  EXPECT_EQ(get("/ui/robots.txt", "Accept-Encoding: br, gzip\r\n"),
            reply("text/plain", "GZ-robots", "\"robots-gz\"", "no-cache", "gzip"));
  EXPECT_EQ(get("/ui/robots.txt", "Accept-Encoding: br\r\n"), reply("text/plain", "User-agent: *", "\"robots\""));
  EXPECT_EQ(get("/ui/assets/app.css", "Accept-Encoding: br, gzip\r\n"),
            reply("text/css", "body{}", "\"css\"", immutable, {}, false));
}

TEST_F(StaticFiles, ifNoneMatchAnswersNotModifiedForEachVariant) {
  struct Variant {
    std::string acceptEncoding;
    std::string etag;
    std::string encodingLine;
  };
  for (const auto& [acceptEncoding, etag, encodingLine] :
       {Variant{"identity", "\"index\"", ""}, Variant{"gzip", "\"index-gz\"", "Content-Encoding: gzip\r\n"},
        Variant{"br", "\"index-br\"", "Content-Encoding: br\r\n"}}) {
    SCOPED_TRACE(acceptEncoding);
    const std::string accept = "Accept-Encoding: " + acceptEncoding + "\r\n";
    EXPECT_EQ(headerOf(get("/ui/login", accept), "Etag"), etag);
    // No body and no length: a 304 never has a body, and a length would have
    // to be the full reply's.
    const std::string notModified = "HTTP/1.1 304 Not Modified\r\n" + encodingLine +
                                    "Vary: Accept-Encoding\r\nCache-Control: no-cache\r\nEtag: " + etag + "\r\n\r\n";
    for (const std::string& field : {etag, "W/" + etag, std::string("*"), "\"other\", " + etag, "\"a\",W/\"b\", " + etag + " "}) {
      SCOPED_TRACE("If-None-Match: " + field);
      EXPECT_EQ(get("/ui/login", accept + "If-None-Match: " + field + "\r\n"), notModified);
      EXPECT_EQ(get("/ui/", accept + "If-None-Match: " + field + "\r\n", "HEAD"), notModified);
    }
    // Another variant's tag, a near miss, a malformed list: the full reply.
    for (const std::string& field : {std::string("\"index-zz\""), etag.substr(1, etag.size() - 2),
                                     "\"" + etag + "\"", std::string("W/"), std::string("**")}) {
      SCOPED_TRACE("If-None-Match: " + field);
      EXPECT_EQ(statusOf(get("/ui/login", accept + "If-None-Match: " + field + "\r\n")), 200);
    }
    // Only reads are answered from the client's copy.
    EXPECT_EQ(statusOf(get("/ui/login", accept + "If-None-Match: *\r\n", "POST")), 200);
  }
  EXPECT_EQ(statusOf(get("/ui/login", "If-None-Match: \"index-gz\"\r\n")), 200) << "the plain reply's tag differs";
}

TEST_F(StaticFiles, headSendsTheHeadAloneOnAKeptAliveConnection) {
  RawClient client(port());
  const std::string expectedHead =
      "HTTP/1.1 200 OK\r\nContent-Type: application/javascript\r\nContent-Encoding: gzip\r\n"
      "Vary: Accept-Encoding\r\nCache-Control: public, max-age=31536000, immutable\r\nEtag: \"app-gz\"\r\n"
      "Content-Length: 6\r\n\r\n";
  client.send("HEAD /ui/assets/app.js HTTP/1.1\r\nAccept-Encoding: gzip\r\n\r\n");
  EXPECT_EQ(client.readExactly(expectedHead.size()), expectedHead);
  // Whatever the HEAD reply left behind would come first here.
  client.send("GET /ui/robots.txt HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.readResponse(), reply("text/plain", "User-agent: *", "\"robots\""));
  client.send("HEAD /ui/nowhere HTTP/1.1\r\n\r\n");
  const std::string page = "<!doctype html><title>LoRa Gateway</title>";
  const std::string indexHead = reply("text/html", page, "\"index\"").substr(0, reply("text/html", page, "\"index\"").size() - page.size());
  EXPECT_EQ(client.readExactly(indexHead.size()), indexHead);
  client.send("GET /ui/assets/app.css HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.readResponse(), reply("text/css", "body{}", "\"css\"", immutable, {}, false));
}

TEST(StaticFilesWithoutIndex, aTableWithoutIndexAnswersEmptyText) {
  auto server = newHttpServer(4096);
  mount(*server, "ui", embeddedFileHandler(std::span<const UiFile>(files.data(), 1)));
  InProcessServer running(server);
  EXPECT_EQ(roundTrip(running.port(), "GET /ui/x HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nCache-Control: no-cache\r\nContent-Length: 0\r\n\r\n");
}

}  // namespace nc::test
