#include <gtest/gtest.h>

#include <array>

#include "src/static_files.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

const std::array<UiFile, 4> files{{
    {"robots.txt", "text/plain", "User-agent: *"},
    {"index.html", "text/html", "<!doctype html><title>LoRa Gateway</title>"},
    {"assets/app.js", "application/javascript", "console.log(1)"},
    {"assets/app.css", "text/css", "body{}"},
}};

std::string reply(const std::string& type, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

}  // namespace

TEST(staticFiles, lookupFallbackAndMethods) {
  auto server = newHttpServer(4096);
  mount(*server, "ui", embeddedFileHandler(files));
  InProcessServer running(server);
  auto get = [&](const std::string& method, const std::string& path) {
    std::string extra = method == "POST" ? "Content-Length: 2\r\n\r\n{}" : "\r\n";
    return roundTrip(running.port(), method + " " + path + " HTTP/1.1\r\n" + extra);
  };
  const std::string index = reply("text/html", "<!doctype html><title>LoRa Gateway</title>");
  const std::string script = reply("application/javascript", "console.log(1)");
  EXPECT_EQ(get("GET", "/ui"), index);
  EXPECT_EQ(get("GET", "/ui/"), index);
  EXPECT_EQ(get("GET", "/ui/index.html"), index);
  EXPECT_EQ(get("GET", "/ui/login"), index);
  EXPECT_EQ(get("GET", "/ui/favicon.ico"), index);
  EXPECT_EQ(get("GET", "/ui/assets/unknown.js"), index);
  EXPECT_EQ(get("GET", "/ui/assets"), index);
  EXPECT_EQ(get("GET", "/ui/assets/app.js"), script);
  EXPECT_EQ(get("GET", "/ui/assets/app.js?v=2"), script);
  EXPECT_EQ(get("GET", "/ui//assets///app.css"), reply("text/css", "body{}"));
  EXPECT_EQ(get("GET", "/ui/robots.txt/extra"), reply("text/plain", "User-agent: *"));
  EXPECT_EQ(get("POST", "/ui/assets/app.js"), script);
  EXPECT_EQ(get("DELETE", "/ui/robots.txt"), reply("text/plain", "User-agent: *"));
  EXPECT_EQ(get("HEAD", "/ui/robots.txt"), reply("text/plain", "User-agent: *"));
}

TEST(staticFiles, aTableWithoutIndexAnswersEmptyText) {
  auto server = newHttpServer(4096);
  mount(*server, "ui", embeddedFileHandler(std::span<const UiFile>(files.data(), 1)));
  InProcessServer running(server);
  EXPECT_EQ(roundTrip(running.port(), "GET /ui/x HTTP/1.1\r\n\r\n"), reply("text/plain", ""));
}

}  // namespace nc::test
