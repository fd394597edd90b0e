#include "src/accounts/private_files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

#include "src/accounts/database.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

mode_t modeOf(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(0, ::stat(path.c_str(), &status)) << path;
  return status.st_mode & 07777;
}

TEST(PrivateFiles, aNewDatabaseAndItsJournalsAreOwnerOnly) {
  TempDir dir;
  const std::string path = (dir.path() / "accounts.sqlite3").string();
  std::ostringstream out;
  Logger log(out, false);
  keepDatabasePrivate(path, log);
  EXPECT_EQ(0600u, modeOf(path));
  EXPECT_EQ("", out.str());
  Database db = Database::open(path);
  // A rollback journal exists while a transaction is open.
  exec(db, "create table t (x)");
  exec(db, "begin");
  exec(db, "insert into t values ('1')");
  EXPECT_EQ(0600u, modeOf(path + "-journal"));
  exec(db, "commit");
  exec(db, "pragma journal_mode=wal");
  exec(db, "insert into t values ('2')");
  EXPECT_EQ(0600u, modeOf(path + "-wal"));
  EXPECT_EQ(0600u, modeOf(path + "-shm"));
}

TEST(PrivateFiles, existingLooseFilesAreTightenedWithOneLineEach) {
  TempDir dir;
  const std::filesystem::path path = dir.path() / "accounts.sqlite3";
  writeFile(path, "");
  writeFile(dir.path() / "accounts.sqlite3-wal", "");
  writeFile(dir.path() / "accounts.sqlite3-journal", "");
  ASSERT_EQ(0, ::chmod(path.c_str(), 0644));
  ASSERT_EQ(0, ::chmod((dir.path() / "accounts.sqlite3-wal").c_str(), 0660));
  ASSERT_EQ(0, ::chmod((dir.path() / "accounts.sqlite3-journal").c_str(), 0600));
  std::ostringstream out;
  Logger log(out, false);
  keepDatabasePrivate(path.string(), log);
  EXPECT_EQ(0600u, modeOf(path));
  EXPECT_EQ(0600u, modeOf(dir.path() / "accounts.sqlite3-wal"));
  EXPECT_EQ("made " + path.string() + " private: mode 0644 -> 0600\n" +
                "made " + path.string() + "-wal private: mode 0660 -> 0600\n",
            out.str());
  // Owner bits are kept as they were; a second start has nothing to say.
  ASSERT_EQ(0, ::chmod(path.c_str(), 0407));
  std::ostringstream again;
  Logger logAgain(again, false);
  keepDatabasePrivate(path.string(), logAgain);
  EXPECT_EQ(0400u, modeOf(path));
  keepDatabasePrivate(path.string(), logAgain);
  EXPECT_EQ("made " + path.string() + " private: mode 0407 -> 0400\n", again.str());
}

TEST(PrivateFiles, namesWithoutAFileAreLeftAlone) {
  TempDir dir;
  std::ostringstream out;
  Logger log(out, false);
  keepDatabasePrivate(":memory:", log);
  keepDatabasePrivate("", log);
  keepDatabasePrivate((dir.path() / "missing" / "accounts.sqlite3").string(), log);
  EXPECT_FALSE(std::filesystem::exists(":memory:"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
  EXPECT_EQ("", out.str());
}

}  // namespace
}  // namespace nc::test
