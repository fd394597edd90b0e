#include "src/api/context.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "src/accounts/account_store.h"
#include "src/accounts/login.h"
#include "support/expect_throw_msg.h"
#include "support/test_support.h"

namespace nc {
namespace {

using test::TempDir;

std::shared_ptr<Context> startOn(const std::filesystem::path& file) {
  auto context = newContext("conf.json", "unit", file.string());
  initAccounts(*context);
  return context;
}

std::vector<DbRow> accounts(Context& context) { return getAllRows(context.db, "select username from account"); }

TEST(Context, firstStartCreatesTheTableAndTheFirstRunAccount) {
  TempDir dir;
  const auto file = dir.path() / "nodeconsole.sqlite3";
  const auto context = newContext("conf.json", "unit", file.string());
  EXPECT_EQ("conf.json", context->forwarderConfigPath);
  EXPECT_EQ("unit", context->forwarderUnitServiceName);
  EXPECT_EQ(file.string(), context->dataPath);
  EXPECT_EQ(32, context->secret->nByte);
  initAccounts(*context);
  EXPECT_TRUE(std::filesystem::exists(file));
  // SQLite keeps the statement text after "create table", so this pins its layout.
  EXPECT_EQ(
      "CREATE TABLE account (\n"
      "  id            integer     primary key autoincrement,\n"
      "  username      varchar(64) not null,\n"
      "  password_hash varchar(32) not null,\n"
      "  password_salt varchar(32) not null,\n"
      "  unique(username)\n"
      ")",
      getAllRows(context->db, "select sql from sqlite_master where name = 'account'").at(0).at(0));
  EXPECT_EQ(std::vector<DbRow>{{"admin"}}, accounts(*context));
  EXPECT_TRUE(checkAccountPassword(context->db, "admin", "qzvtk"));
}

TEST(Context, secondStartKeepsAccountsAndMakesANewKey) {
  TempDir dir;
  const auto file = dir.path() / "db";
  std::string firstKey;
  {
    const auto first = startOn(file);
    firstKey = toString(*first->secret);
    updateAccountPassword(first->db, "admin", "qzvtk", "changed");
  }
  const auto second = startOn(file);
  EXPECT_EQ(std::vector<DbRow>{{"admin"}}, accounts(*second));
  EXPECT_TRUE(checkAccountPassword(second->db, "admin", "changed"));
  EXPECT_NE(firstKey, toString(*second->secret));
}

TEST(Context, noFirstRunAccountBesideAnotherUser) {
  TempDir dir;
  const auto file = dir.path() / "db";
  {
    const auto setup = startOn(file);
    exec(setup->db, "update account set username = 'bob'");
  }
  const auto context = startOn(file);
  EXPECT_EQ(std::vector<DbRow>{{"bob"}}, accounts(*context));
}

// A database written by the 1.1.1 build, before device tokens: the account it
// holds logs in, the table is added, and the file stays its owner's alone.
TEST(Context, aDatabaseFromBeforeDeviceTokensKeepsWorking) {
  TempDir dir;
  const auto file = dir.path() / "nodeconsole.sqlite3";
  test::writeFile(file, test::readTestData("accounts-before-device-tokens.sqlite3"));
  chmod(file.c_str(), 0644);
  const auto context = startOn(file);
  struct stat status {};
  ASSERT_EQ(0, stat(file.c_str(), &status));
  EXPECT_EQ(0600u, status.st_mode & 0777u);
  EXPECT_EQ(std::vector<DbRow>{{"admin"}}, accounts(*context));
  EXPECT_FALSE(firstRunPasswordInUse(context->db));
  const LoginGrant first =
      logIn(context->db, *context->secret, context->access, {"127.0.0.1", "admin", "kept-from-1.1.1"});
  const LoginGrant second = logIn(context->db, *context->secret, context->access,
                                  {"127.0.0.1", "admin", "kept-from-1.1.1", first.deviceToken});
  EXPECT_EQ(std::vector<DbRow>{{"1"}}, getAllRows(context->db, "select count(*) from device_token"));
  EXPECT_NE(first.deviceToken, second.deviceToken);
}

TEST(Context, unusableDatabaseFilesStopStartUp) {
  TempDir dir;
  EXPECT_THROW_MSG(newContext("", "", (dir.path() / "missing" / "db").string()), DbError,
                   "unable to open database file");
  const auto garbage = dir.path() / "garbage";
  test::writeFile(garbage, std::string(4096, 'x'));
  const auto context = newContext("", "", garbage.string());
  EXPECT_THROW_MSG(initAccounts(*context), DbError, "file is not a database");
  EXPECT_EQ(std::string(4096, 'x'), test::readFile(garbage));
}

// Running as root, permission bits cannot make a file read-only, but an SQLite
// URI file name can, where the library was built to accept them.
TEST(Context, readOnlyDatabaseStopsStartUp) {
  if (!sqlite3_compileoption_used("USE_URI")) {
    GTEST_SKIP() << "SQLite built without URI file names";
  }
  TempDir dir;
  const auto file = dir.path() / "db";
  newContext("", "", file.string());
  const auto context = newContext("", "", "file:" + file.string() + "?mode=ro");
  EXPECT_THROW_MSG(initAccounts(*context), DbError, "attempt to write a readonly database");
}

TEST(Context, keyIsWipedWithTheContext) {
  TempDir dir;
  auto context = newContext("", "", (dir.path() / "db").string());
  const BufferRef key = context->secret;
  EXPECT_NE(std::string(32, '\0'), toString(*key));
  context.reset();
  EXPECT_EQ(std::string(32, '\0'), toString(*key));
}

}  // namespace
}  // namespace nc
