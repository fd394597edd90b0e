#include "src/forwarder/stale_temp_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "utils/json.h"

namespace nc::test {
namespace {

using std::chrono::seconds;
using Clock = std::chrono::system_clock;

// A fixed "now", so that ages are exact to the nanosecond; before 2038, so that
// the 32-bit time_t of armhf holds it.
const Clock::time_point now = Clock::from_time_t(1'800'000'000);

void setAge(const std::filesystem::path& path, Clock::duration age) {
  const auto since = (now - age).time_since_epoch();
  const auto wholeSeconds = std::chrono::duration_cast<seconds>(since);
  const timespec changed{static_cast<std::time_t>(wholeSeconds.count()),
                         long(std::chrono::duration_cast<std::chrono::nanoseconds>(since - wholeSeconds).count())};
  const timespec times[2] = {changed, changed};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

void makeFile(const std::filesystem::path& path, Clock::duration age) {
  writeFile(path, "x");
  setAge(path, age);
}

std::set<std::string> namesIn(const std::filesystem::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.insert(entry.path().filename());
  return names;
}

void makeOldFile(const std::filesystem::path& path) {
  writeFile(path, "{");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0) << path;
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
}

std::string call(uint16_t port, const std::string& procedure, const std::string& body) {
  return bodyOf(roundTrip(port, "POST /rpc/v1/" + procedure + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body));
}

std::string sweep(const std::filesystem::path& path) {
  std::ostringstream out;
  Logger log(out, false);
  removeStaleTemporaryFiles(path.string(), log, now);
  return out.str();
}

}  // namespace

TEST(StaleTempFiles, namesOfTheTemplateAndNothingElse) {
  EXPECT_EQ(temporaryCopyOf(".conf.json.Ab12Cz"), "conf.json");
  EXPECT_EQ(temporaryCopyOf(".conf.json.000000"), "conf.json");
  EXPECT_EQ(temporaryCopyOf(".version-12.json.Ab12Cz"), "version-12.json");
  EXPECT_EQ(temporaryCopyOf(".a.Ab12Cz"), "a");
  EXPECT_EQ(temporaryCopyOf("..Ab12Cz"), std::nullopt);
  for (const char* other : {".conf.json.Ab12C", ".conf.json.Ab12Cz9", "conf.json.Ab12Cz", "..conf.json.Ab12C",
                            ".conf.jsonxAb12Cz", ".conf.json.Ab-2Cz", ".conf.json.Ab.2Cz", ".conf.json.XXXXX~",
                            ".other.json.Ab12Cz", ".conf.jso.Ab12Cz", ".conf.json.bak.Ab12Cz", ".conf.json",
                            ".conf.json.", ".Conf.json.Ab12Cz", ""}) {
    EXPECT_NE(temporaryCopyOf(other), "conf.json") << other;
  }
  EXPECT_EQ(temporaryTemplateFor("/a/b", "conf.json"), "/a/b/.conf.json.XXXXXX");
  EXPECT_EQ(temporaryTemplateFor("/", "conf.json"), "/.conf.json.XXXXXX");
}

TEST(StaleTempFiles, everyNameMkostempMakesIsRecognised) {
  TempDir dir;
  for (int i = 0; i < 50; ++i) {
    std::string path = temporaryTemplateFor(dir.path().string(), "conf.json");
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(temporaryCopyOf(std::filesystem::path(path).filename().string()), "conf.json") << path;
  }
}

TEST(StaleTempFiles, removesOnlyOurOldFiles) {
  TempDir dir;
  const auto conf = dir.path() / "conf.json";
  makeFile(conf, std::chrono::hours(24));
  const auto minute = staleTemporaryAge;
  makeFile(dir.path() / ".conf.json.Old001", std::chrono::hours(24));
  makeFile(dir.path() / ".conf.json.Old002", minute + std::chrono::nanoseconds(1));
  makeFile(dir.path() / ".conf.json.Young1", minute);
  makeFile(dir.path() / ".conf.json.Young2", minute - seconds(1));
  makeFile(dir.path() / ".conf.json.Young3", seconds(0));
  for (const char* other : {".other.json.Ab12Cz", "conf.json.Ab12Cz", ".conf.json.Ab12C", ".conf.json.Ab12Cz9",
                            ".conf.json.bak", ".conf.json.Ab-2Cz", "notes.txt"}) {
    makeFile(dir.path() / other, std::chrono::hours(24));
  }
  // Old, and named like ours, but not regular files.
  std::filesystem::create_directory(dir.path() / ".conf.json.Dir001");
  setAge(dir.path() / ".conf.json.Dir001", std::chrono::hours(24));
  std::filesystem::create_symlink(dir.path() / "notes.txt", dir.path() / ".conf.json.Link01");
  setAge(dir.path() / ".conf.json.Link01", std::chrono::hours(24));
  const std::set<std::string> before = namesIn(dir.path());

  const std::string log = sweep(conf);

  std::set<std::string> expected = before;
  expected.erase(".conf.json.Old001");
  expected.erase(".conf.json.Old002");
  EXPECT_EQ(namesIn(dir.path()), expected);
  EXPECT_EQ(readFile(dir.path() / "notes.txt"), "x");
  const std::string shown = dir.path().string();
  EXPECT_TRUE(log == "removed stale temporary file " + shown + "/.conf.json.Old001\n" +
                         "removed stale temporary file " + shown + "/.conf.json.Old002\n" ||
              log == "removed stale temporary file " + shown + "/.conf.json.Old002\n" +
                         "removed stale temporary file " + shown + "/.conf.json.Old001\n")
      << log;
  EXPECT_EQ(sweep(conf), "");
}

// A replacement writes beside the link's target, so that is where its
// leftovers are, and the link's own folder is not ours to clean.
TEST(StaleTempFiles, followsASymbolicLinkToTheRealFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "real");
  std::filesystem::create_directory(dir.path() / "links");
  makeFile(dir.path() / "real" / "target.json", std::chrono::hours(1));
  std::filesystem::create_symlink(dir.path() / "real" / "target.json", dir.path() / "links" / "conf.json");
  makeFile(dir.path() / "real" / ".target.json.Old001", std::chrono::hours(1));
  makeFile(dir.path() / "real" / ".conf.json.Old001", std::chrono::hours(1));
  makeFile(dir.path() / "links" / ".conf.json.Old001", std::chrono::hours(1));
  makeFile(dir.path() / "links" / ".target.json.Old001", std::chrono::hours(1));

  EXPECT_EQ(sweep(dir.path() / "links" / "conf.json"),
            "removed stale temporary file " + (dir.path() / "real" / ".target.json.Old001").string() + "\n");
  EXPECT_EQ(namesIn(dir.path() / "real"), (std::set<std::string>{"target.json", ".conf.json.Old001"}));
  EXPECT_EQ(namesIn(dir.path() / "links"),
            (std::set<std::string>{"conf.json", ".conf.json.Old001", ".target.json.Old001"}));
}

TEST(StaleTempFiles, aMissingFileOrFolderIsNoFailure) {
  TempDir dir;
  makeFile(dir.path() / ".gone.json.Old001", std::chrono::hours(1));
  EXPECT_EQ(sweep(dir.path() / "gone.json"),
            "removed stale temporary file " + (dir.path() / ".gone.json.Old001").string() + "\n");
  EXPECT_EQ(sweep(dir.path() / "missing" / "conf.json"), "");
}

// The service cleans up at start-up, before it listens.
TEST(StaleTempFiles, theServiceRemovesThemAtStartUp) {
  TempDir dir;
  const auto conf = dir.path() / "global_conf.json";
  writeFile(conf, "{}");
  writeFile(dir.path() / ".global_conf.json.Old001", "{");
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(dir.path() / ".global_conf.json.Old001", old);
  writeFile(dir.path() / ".global_conf.json.Young1", "{");
  const uint16_t port = freePort();
  ServiceProcess service(
      {"--port", std::to_string(port), "-f", conf.string(), "-d", (dir.path() / "db.sqlite3").string()});
  EXPECT_EQ(service.output(), "starting nodeconsole v" NODECONSOLE_VERSION "\nremoved stale temporary file " +
                                  (dir.path() / ".global_conf.json.Old001").string() + "\nListening 127.0.0.1:" +
                                  std::to_string(port) + "\n");
  EXPECT_EQ(namesIn(dir.path()),
            (std::set<std::string>{"global_conf.json", ".global_conf.json.Young1", "db.sqlite3"}));
}

// A process killed in the middle of a change leaves temporary files in the
// history folder as well, where they would fill its 2 MiB. They go at start-up
// and before each change, and a history folder others could read is made
// private at start.
TEST(StaleTempFiles, theHistoryFolderIsSweptAndMadePrivate) {
  TempDir dir;
  const auto conf = dir.path() / "global_conf.json";
  writeFile(conf, "{}");
  const auto history = dir.path() / "forwarder-history";
  std::filesystem::create_directory(history);
  writeFile(history / "version-1.json", "{}");
  ASSERT_EQ(::chmod(history.c_str(), 0755), 0);
  ASSERT_EQ(::chmod((history / "version-1.json").c_str(), 0644), 0);
  for (const char* name : {".index.json.Old001", ".version-12.json.Old002", ".notes.txt.Old003",
                           ".version-.json.Old004", ".version-1a.json.Old005"})
    makeOldFile(history / name);
  writeFile(history / ".version-2.json.Young1", "{");
  ASSERT_EQ(::chmod((history / ".version-2.json.Young1").c_str(), 0600), 0);
  const uint16_t port = freePort();
  ServiceProcess service({"--port", std::to_string(port), "-f", conf.string(), "-d",
                          (dir.path() / "db.sqlite3").string(), "--forwarderUnitServiceName="});

  std::vector<std::string> lines;
  std::istringstream output(service.output());
  for (std::string line; std::getline(output, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 2u);
  std::vector<std::string> startUp(lines.begin() + 1, lines.end() - 1);
  std::sort(startUp.begin(), startUp.end());
  const std::string shown = history.string();
  EXPECT_EQ(startUp, (std::vector<std::string>{"made " + shown + " private: mode 0755 -> 0700",
                                               "made " + shown + "/version-1.json private: mode 0644 -> 0600",
                                               "removed stale temporary file " + shown + "/.index.json.Old001",
                                               "removed stale temporary file " + shown + "/.version-12.json.Old002"}));
  struct stat info {};
  ASSERT_EQ(::stat(history.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat((history / "version-1.json").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  makeOldFile(history / ".version-2.json.Young1");
  const JsonValue login = parseJson(call(port, "login/password", R"({"username":"admin","password":"qzvtk"})"));
  const std::string token = login.asObject().at("output").asObject().at("auth").asString();
  EXPECT_EQ(call(port, "forwarder-config/patch", R"({"auth":")" + token + R"(","input":{"a":1}})"), R"({"output":{}})");
  EXPECT_NE(service.output().find("removed stale temporary file " + shown + "/.version-2.json.Young1\n"),
            std::string::npos)
      << service.output();
  EXPECT_EQ(namesIn(history), (std::set<std::string>{"version-1.json", "index.json", ".notes.txt.Old003",
                                                     ".version-.json.Old004", ".version-1a.json.Old005"}));
}

}  // namespace nc::test
