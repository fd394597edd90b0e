#include <gtest/gtest.h>

#include <sys/stat.h>

#include "src/forwarder/history.h"
#include "support/expect_throw_msg.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

class ConfigHistory : public ::testing::Test {
 protected:
  std::string folder() const { return (dir_.path() / "forwarder-history").string(); }
  HistoryVersion keep(const std::string& text, std::vector<std::string> paths = {"gateway_conf"}) {
    return keepVersion(folder(), text, ChangeNote{"2026-12-08T20:11:18Z", "admin", std::move(paths), std::nullopt,
                                                  std::nullopt});
  }
  std::vector<int64_t> ids() const {
    std::vector<int64_t> result;
    for (const auto& version : listVersions(folder())) result.push_back(version.id);
    return result;
  }
  size_t filesInFolder() const { return std::distance(std::filesystem::directory_iterator(folder()), {}); }

  TempDir dir_;
};

HistoryVersion sized(int64_t id, uint64_t size, bool factory = false) {
  HistoryVersion version;
  version.id = id;
  version.size = size;
  version.factory = factory;
  return version;
}

std::vector<int64_t> idsWithinBounds(std::vector<HistoryVersion> versions, size_t maxVersions, uint64_t maxBytes) {
  std::vector<int64_t> result;
  for (const auto& version : versionsWithinBounds(std::move(versions), maxVersions, maxBytes))
    result.push_back(version.id);
  return result;
}

JsonValue json(const std::string& text) { return parseJson(text); }

}  // namespace

TEST(ConfigHistoryBounds, oldestGoesFirstButTheFactoryAndTheNewestStay) {
  std::vector<HistoryVersion> four{sized(4, 10), sized(3, 10), sized(2, 10), sized(1, 10, true)};
  EXPECT_EQ(idsWithinBounds(four, 5, 100), (std::vector<int64_t>{4, 3, 2, 1}));
  EXPECT_EQ(idsWithinBounds(four, 4, 100), (std::vector<int64_t>{4, 3, 2, 1}));
  EXPECT_EQ(idsWithinBounds(four, 3, 100), (std::vector<int64_t>{4, 3, 1}));
  EXPECT_EQ(idsWithinBounds(four, 1, 100), (std::vector<int64_t>{4, 1}));
  EXPECT_EQ(idsWithinBounds(four, 4, 41), (std::vector<int64_t>{4, 3, 2, 1}));
  EXPECT_EQ(idsWithinBounds(four, 4, 40), (std::vector<int64_t>{4, 3, 2, 1}));
  EXPECT_EQ(idsWithinBounds(four, 4, 39), (std::vector<int64_t>{4, 3, 1}));
  // A newest version larger than the whole bound is kept all the same.
  EXPECT_EQ(idsWithinBounds({sized(3, 500), sized(2, 10), sized(1, 10, true)}, 20, 100),
            (std::vector<int64_t>{3, 1}));
  EXPECT_EQ(idsWithinBounds({}, 20, 100), std::vector<int64_t>{});
}

TEST_F(ConfigHistory, keepsTheFileByteForByte) {
  EXPECT_TRUE(listVersions(folder()).empty());
  std::string handWritten = "/* gateway 7, set up by hand */\n{\n\t\"gateway_conf\": {\"serv_port_up\": 1700} // EU\n}\n";
  HistoryVersion first = keep(handWritten);
  EXPECT_EQ(first.id, 1);
  EXPECT_TRUE(first.factory);
  EXPECT_TRUE(first.validJson);
  EXPECT_EQ(first.size, handWritten.size());
  EXPECT_EQ(versionText(folder(), 1), handWritten);
  HistoryVersion broken = keep("{\"a\": 1,", {"*"});
  EXPECT_EQ(broken.id, 2);
  EXPECT_FALSE(broken.factory);
  EXPECT_FALSE(broken.validJson);

  auto versions = listVersions(folder());
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(toCompactJson(versionJson(versions[1])),
            R"({"id":1,"size":)" + std::to_string(handWritten.size()) +
                R"(,"factory":true,"valid":true,"time":"2026-12-08T20:11:18Z","account":"admin","paths":["gateway_conf"]})");
  EXPECT_EQ(versions[0].id, 2);
  EXPECT_THROW_MSG(versionText(folder(), 3), UnknownVersionError, "There is no version 3 in the history");

  struct stat info {};
  ASSERT_EQ(::stat(folder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((folder() + "/version-1.json").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ConfigHistory, twentyVersionsAndTheFactoryFile) {
  for (int i = 1; i <= 20; ++i) keep("{\"v\":" + std::to_string(i) + "}");
  EXPECT_EQ(ids().size(), 20u);
  EXPECT_EQ(ids().back(), 1);
  keep("{\"v\":21}");
  std::vector<int64_t> expected{21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 1};
  EXPECT_EQ(ids(), expected);
  EXPECT_EQ(versionText(folder(), 1), "{\"v\":1}");
  EXPECT_FALSE(std::filesystem::exists(folder() + "/version-2.json"));
  EXPECT_EQ(filesInFolder(), 21u);  // twenty versions and the index, nothing left over
}

TEST_F(ConfigHistory, twoMebibytesInAll) {
  const std::string factory(100 * 1024, 'f');
  keep(factory);
  const std::string big(400 * 1024, 'x');
  for (int i = 0; i < 6; ++i) keep(big);
  // 100 KiB + 6 x 400 KiB exceeds 2 MiB: the oldest after the factory file went.
  EXPECT_EQ(ids(), (std::vector<int64_t>{7, 6, 5, 4, 1}));
  uint64_t total = 0;
  for (const auto& version : listVersions(folder())) total += version.size;
  EXPECT_LE(total, maxHistoryBytes);
  EXPECT_EQ(versionText(folder(), 1), factory);
}

// Root may write anywhere, so the folder is made impossible to create: a file
// stands where it belongs.
TEST_F(ConfigHistory, aHistoryThatCannotBeWrittenRaisesAndKeepsNothing) {
  writeFile(folder(), "not a folder");
  EXPECT_THROW(keep("{}"), std::system_error);
  EXPECT_EQ(readFile(folder()), "not a folder");

  std::filesystem::remove(folder());
  keep("{\"a\":1}");
  writeFile(folder() + "/index.json", "{\"versions\":[{\"id\":1}");
  EXPECT_THROW(keep("{}"), std::runtime_error);
  EXPECT_THROW(listVersions(folder()), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(folder() + "/version-2.json"));
}

TEST_F(ConfigHistory, theFolderSitsBesideTheDatabase) {
  EXPECT_EQ(historyFolderFor("/var/lib/nodeconsole/accounts.sqlite3"), "/var/lib/nodeconsole/forwarder-history");
  EXPECT_EQ(historyFolderFor("nodeconsole.sqlite3"), "forwarder-history");
  EXPECT_EQ(historyFolderFor("/db"), "/forwarder-history");
}

// An index written before outcomes were noted reads as outcomes not known; a
// noted outcome survives the next version kept; a name this build does not
// know is not taken for damage.
TEST_F(ConfigHistory, outcomesAndIndexesWithoutThem) {
  std::filesystem::create_directory(folder());
  writeFile(folder() + "/version-1.json", "{}");
  writeFile(folder() + "/index.json", R"({"versions":[{"id":1,"size":2,"factory":true,"valid":true,)"
                                      R"("time":"2026-12-01T08:00:00Z","account":"admin","paths":["gateway_conf"]}]})");
  ASSERT_EQ(listVersions(folder()).size(), 1u);
  EXPECT_EQ(listVersions(folder())[0].change.outcome, std::nullopt);

  noteOutcome(folder(), 1, ApplyOutcome::rolledBack);
  keep("{\"a\":1}");
  noteOutcome(folder(), 2, ApplyOutcome::held);
  noteOutcome(folder(), 9, ApplyOutcome::failed);
  auto versions = listVersions(folder());
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(versions[0].change.outcome, ApplyOutcome::held);
  EXPECT_EQ(versions[1].change.outcome, ApplyOutcome::rolledBack);
  EXPECT_EQ(toCompactJson(versionJson(versions[1])),
            R"({"id":1,"size":2,"factory":true,"valid":true,"time":"2026-12-01T08:00:00Z","account":"admin",)"
            R"("paths":["gateway_conf"],"outcome":"rolledBack"})");

  std::string index = readFile(folder() + "/index.json");
  writeFile(folder() + "/index.json", index.replace(index.find("\"held\""), 6, "\"later\""));
  EXPECT_EQ(listVersions(folder())[0].change.outcome, std::nullopt);
}

TEST(ConfigHistoryChanges, membersThatDifferTwoLevelsDeep) {
  JsonValue before = json(R"({"gateway_conf":{"a":1,"b":2},"SX1301_conf":{"r":[1,2]},"old":1})");
  EXPECT_EQ(changedMembers(&before, json(R"({"gateway_conf":{"b":2,"a":1},"SX1301_conf":{"r":[1,2]},"old":1})")),
            std::vector<std::string>{});
  EXPECT_EQ(changedMembers(&before, json(R"({"gateway_conf":{"a":1,"b":3},"SX1301_conf":{"r":[2,1]},"new":1})")),
            (std::vector<std::string>{"gateway_conf.b", "SX1301_conf.r", "new", "old"}));
  EXPECT_EQ(changedMembers(&before, json(R"({"gateway_conf":{"a":1},"SX1301_conf":{"r":[1,2]},"old":1.0})")),
            (std::vector<std::string>{"gateway_conf.b", "old"}));
  // Deeper changes name their second-level member; a member that stops being
  // an object is named whole.
  JsonValue radios = json(R"({"SX1301_conf":{"radio_0":{"freq":867500000,"enable":true},"lorawan_public":true}})");
  EXPECT_EQ(changedMembers(&radios, json(R"({"SX1301_conf":{"radio_0":{"freq":868500000,"enable":true},)"
                                         R"("lorawan_public":true,"clksrc":1}})")),
            (std::vector<std::string>{"SX1301_conf.radio_0", "SX1301_conf.clksrc"}));
  EXPECT_EQ(changedMembers(&radios, json(R"({"SX1301_conf":[]})")), std::vector<std::string>{"SX1301_conf"});
  EXPECT_EQ(changedMembers(nullptr, json("{}")), std::vector<std::string>{"*"});
  JsonValue array = json("[1]");
  EXPECT_EQ(changedMembers(&array, json("{}")), std::vector<std::string>{"*"});
  EXPECT_EQ(changedMembers(&before, json("7")), std::vector<std::string>{"*"});
}

}  // namespace nc::test
