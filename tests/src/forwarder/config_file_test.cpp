#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/detached.hpp>

#include "src/forwarder/apply.h"
#include "src/forwarder/config_file.h"
#include "support/run_awaitable.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

std::string merged(const std::string& base, const std::string& patch) {
  return toCompactJson(merge(parseJson(base), parseJson(patch)));
}

class ForwarderConfig : public ::testing::Test {
 protected:
  ForwarderConfig()
      : path_(dir_.path() / "global_conf.json"),
        target_{path_.string(), "", (history_.path() / "forwarder-history").string()} {}

  JsonValue get() { return runAwaitable(io_, readForwarderConfig(path_.string())); }
  // Without a unit, a patch is the history, the merge and the atomic write.
  asio::awaitable<void> patching(const std::string& text) {
    return applyForwarderPatch(target_, parseJson(text), "admin");
  }
  void patch(const std::string& text) { runAwaitable(io_, patching(text)); }
  std::string file() { return readFile(path_); }

  TempDir dir_;
  TempDir history_;
  std::filesystem::path path_;
  ForwarderTarget target_;
  asio::io_context io_;
};

}  // namespace

TEST(ForwarderConfigMerge, membersOrderNullsAndArrays) {
  EXPECT_EQ(merged(R"({"a":1,"b":{"x":1,"y":2},"c":[1,2]})", R"({"b":{"y":3},"c":[9]})"),
            R"({"a":1,"b":{"x":1,"y":3},"c":[9]})");
  EXPECT_EQ(merged(R"({"a":1,"b":2,"c":3})", R"({"a":5})"), R"({"b":2,"c":3,"a":5})");
  EXPECT_EQ(merged(R"({"a":1,"b":2})", R"({"a":null})"), R"({"b":2,"a":null})");
  EXPECT_EQ(merged(R"({"a":1,"b":2})", "{}"), R"({"a":1,"b":2})");
  EXPECT_EQ(merged(R"({"a":[1,{"x":1}]})", R"({"a":[{"y":2}]})"), R"({"a":[{"y":2}]})");
  EXPECT_EQ(merged(R"({"a":{"x":1}})", R"({"a":5})"), R"({"a":5})");
  EXPECT_EQ(merged(R"({"a":5})", R"({"a":{"x":1}})"), R"({"a":{"x":1}})");
  EXPECT_EQ(merged(R"([1,2])", R"({"a":1})"), R"({"a":1})");
  EXPECT_EQ(merged(R"({"a":1})", "[3]"), "[3]");
  EXPECT_EQ(merged(R"({"a":1})", "null"), "null");
  EXPECT_EQ(merged(R"({"a":1})", "7"), "7");
  EXPECT_EQ(merged(R"({"a":{"b":{"c":1,"d":2}}})", R"({"a":{"b":{"c":{"e":3}},"f":4}})"),
            R"({"a":{"b":{"d":2,"c":{"e":3}},"f":4}})");
}

TEST(ForwarderConfigMerge, inputsAreNotChanged) {
  JsonValue base = parseJson(R"({"a":{"x":1},"b":2})");
  JsonValue patch = parseJson(R"({"a":{"y":2}})");
  JsonValue result = merge(base, patch);
  EXPECT_EQ(toCompactJson(base), R"({"a":{"x":1},"b":2})");
  EXPECT_EQ(toCompactJson(patch), R"({"a":{"y":2}})");
  EXPECT_EQ(toCompactJson(result), R"({"b":2,"a":{"x":1,"y":2}})");
}

TEST_F(ForwarderConfig, patchWritesThePrettyForm) {
  writeFile(path_, "// a comment\n{\"a\":1,\"c\":{\"d\":\"e\"}}");
  EXPECT_EQ(toCompactJson(get()), R"({"a":1,"c":{"d":"e"}})");
  patch(R"({"b":[],"c":{"d":"e"}})");
  EXPECT_EQ(file(), "{\n  \"a\": 1,\n  \"b\": [],\n  \"c\": {\n    \"d\": \"e\"\n  }\n}");
  patch("{}");
  EXPECT_EQ(file(), "{\n  \"a\": 1,\n  \"b\": [],\n  \"c\": {\n    \"d\": \"e\"\n  }\n}");
  patch(R"({"c":[1, 2.5, null]})");
  EXPECT_EQ(file(), "{\n  \"a\": 1,\n  \"b\": [],\n  \"c\": [\n    1,\n    2.5,\n    null\n  ]\n}");
  // A file that is no object is replaced whole by an object patch.
  writeFile(path_, "[1]");
  patch(R"({"x":1})");
  EXPECT_EQ(file(), "{\n  \"x\": 1\n}");
}

TEST_F(ForwarderConfig, theRealForwarderFile) {
  std::string original = readTestData("semtech-eu868-global_conf.json");
  writeFile(path_, original);
  JsonValue config = get();
  const JsonObject& gateway = config.asObject().at("gateway_conf").asObject();
  EXPECT_EQ(gateway.at("serv_port_up").asInt(), 1680);
  patch(R"({"gateway_conf":{"server_address":"eu1.example.net","serv_port_up":1700,"serv_port_down":1700}})");
  std::string written = file();
  EXPECT_EQ(written.find("/*"), std::string::npos);
  EXPECT_NE(written.find("\"rssi_offset\": -166.0"), std::string::npos);
  JsonValue after = parseJson(written);
  const JsonObject& newGateway = after.asObject().at("gateway_conf").asObject();
  EXPECT_EQ(newGateway.at("server_address").asString(), "eu1.example.net");
  EXPECT_EQ(newGateway.at("serv_port_down").asInt(), 1700);
  EXPECT_EQ(after.asObject().at("SX1301_conf"), config.asObject().at("SX1301_conf"));
}

TEST_F(ForwarderConfig, numbersTheOperatorDidNotTouchKeepTheirValue) {
  const std::string original =
      "{\n  \"sum\": 0.30000000000000004,\n  \"long\": 123456789.12345678,\n  \"tiny\": 5e-324,\n"
      "  \"plain\": -166.0,\n  \"other\": 1\n}";
  writeFile(path_, original);
  patch(R"({"other":2})");
  // The smallest subnormal comes back as the same double in the sixteen
  // digits that files have always used for it.
  EXPECT_EQ(file(),
            "{\n  \"sum\": 0.30000000000000004,\n  \"long\": 123456789.12345678,\n"
            "  \"tiny\": 4.940656458412465e-324,\n  \"plain\": -166.0,\n  \"other\": 2\n}");
  const JsonValue document = get();
  const JsonObject& after = document.asObject();
  EXPECT_EQ(after.at("sum").asFloat(), 0.1 + 0.2);
  EXPECT_EQ(after.at("long").asFloat(), 123456789.12345678);
  EXPECT_EQ(after.at("tiny").asFloat(), 5e-324);
  const std::string once = file();
  patch("{}");
  EXPECT_EQ(file(), once);
}

// A process killed between writing its temporary file and renaming it
// leaves the file behind; the next patch clears it away.
TEST_F(ForwarderConfig, aPatchRemovesStaleTemporaryFiles) {
  writeFile(path_, R"({"a":1})");
  const auto leftover = dir_.path() / ".global_conf.json.Ab12Cz";
  writeFile(leftover, R"({"a":)");
  std::filesystem::last_write_time(leftover, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
  patch(R"({"b":2})");
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_EQ(file(), "{\n  \"a\": 1,\n  \"b\": 2\n}");
}

TEST_F(ForwarderConfig, failuresLeaveTheFileAlone) {
  EXPECT_THROW(get(), std::system_error);
  EXPECT_THROW(patch(R"({"a":1})"), std::system_error);
  EXPECT_FALSE(std::filesystem::exists(path_));

  writeFile(path_, "{\"a\": 1,");
  EXPECT_THROW(patch(R"({"a":2})"), JsonParseError);
  EXPECT_EQ(file(), "{\"a\": 1,");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);  // no temporary file left
}

TEST_F(ForwarderConfig, symbolicLinkAndModeAreKept) {
  std::filesystem::create_directory(dir_.path() / "real");
  auto target = dir_.path() / "real" / "conf.json";
  writeFile(target, R"({"a":1})");
  ::chmod(target.c_str(), 0640);
  std::filesystem::create_symlink(target, path_);
  patch(R"({"b":2})");
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(readFile(target), "{\n  \"a\": 1,\n  \"b\": 2\n}");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path() / "real"), {}), 1);
}

// A directory the service may not write: the patch fails with a clear message
// and the file is untouched. Root may write anywhere, so the attempt runs in a
// child process that has given up root.
TEST_F(ForwarderConfig, unwritableDirectory) {
  writeFile(path_, R"({"a":1})");
  ::chmod(path_.c_str(), 0644);
  ::chmod(dir_.path().c_str(), 0555);
  ::chmod(history_.path().c_str(), 0777);
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    std::string message = "no failure";
    try {
      asio::io_context io;
      runAwaitable(io, patching(R"({"a":2})"));
    } catch (const std::system_error& e) {
      message = e.what();
    }
    [[maybe_unused]] auto written = ::write(pipeEnds[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string message;
  char chunk[512];
  for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;) message.append(chunk, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(message, "cannot create a temporary file in " + dir_.path().string() + ": Permission denied");
  EXPECT_EQ(file(), R"({"a":1})");
}

TEST_F(ForwarderConfig, concurrentPatchesAreAllKeptAndReadersAlwaysParse) {
  writeFile(path_, R"({"base":true})");
  constexpr int patches = 40;
  int parsed = 0, finishedPatches = 0;
  auto patcher = [&](int i) -> asio::awaitable<void> {
    JsonValue patch = parseJson("{\"k" + std::to_string(i) + "\":" + std::to_string(i) + "}");
    co_await applyForwarderPatch(target_, patch, "admin");
    ++finishedPatches;
  };
  auto reader = [&]() -> asio::awaitable<void> {
    JsonValue config = co_await readForwarderConfig(path_.string());
    if (config.isObject()) ++parsed;
  };
  for (int i = 0; i < patches; ++i) {
    asio::co_spawn(io_, patcher(i), asio::detached);
    asio::co_spawn(io_, reader(), asio::detached);
  }
  io_.run_for(std::chrono::seconds(20));
  EXPECT_EQ(finishedPatches, patches);
  EXPECT_EQ(parsed, patches);
  JsonValue document = parseJson(file());
  const JsonObject& result = document.asObject();
  EXPECT_EQ(result.size(), static_cast<size_t>(patches + 1));
  for (int i = 0; i < patches; ++i) EXPECT_EQ(result.at("k" + std::to_string(i)).asInt(), i);
}

}  // namespace nc::test
