#include "src/accounts/database.h"

#include <gtest/gtest.h>

#include "support/expect_throw_msg.h"

namespace nc {
namespace {

class SqliteDatabase : public ::testing::Test {
 protected:
  SqliteDatabase() { exec(connection, "create table person (id integer primary key, name text unique, note text)"); }

  std::vector<DbRow> names() { return getAllRows(connection, "select name from person order by id"); }

  Database connection = Database::open(":memory:");
};

TEST_F(SqliteDatabase, argumentsAreStoredAndFoundUnchanged) {
  const std::vector<std::string> hostile = {
      "O'Brien", "what?", "?", "''", "a", std::string("a\0b", 3), std::string("\0", 1), "x'); delete from person; --",
      ""};
  for (const std::string& name : hostile) {
    exec(connection, "insert into person(name) values (?)", {name});
  }
  std::vector<DbRow> expected;
  for (const std::string& name : hostile) {
    expected.push_back({name});
    EXPECT_EQ((std::vector<DbRow>{{name, "text"}}),
              getAllRows(connection, "select name, typeof(name) from person where name = ?", {name}));
  }
  EXPECT_EQ(expected, names());
}

TEST_F(SqliteDatabase, argumentsAreCountedBeforeAnythingRuns) {
  EXPECT_THROW_MSG(exec(connection, "insert into person(name, note) values (?, ?)", {"only one"}), DbArgumentError,
                   "statement has more placeholders than arguments");
  EXPECT_THROW_MSG(getAllRows(connection, "select * from person where name = ?"), DbArgumentError,
                   "statement has more placeholders than arguments");
  EXPECT_TRUE(names().empty());
  exec(connection, "insert into person(name) values (?)", {"bob", "ignored"});
  EXPECT_EQ(std::vector<DbRow>{{"bob"}}, names());
}

TEST_F(SqliteDatabase, rowsComeBackAsText) {
  EXPECT_TRUE(getAllRows(connection, "select * from person where name = ?", {"nobody"}).empty());
  exec(connection, "insert into person(id, name) values (?, ?)", {"7", "bob"});
  EXPECT_EQ((std::vector<DbRow>{{"7", "bob", ""}}), getAllRows(connection, "select id, name, note from person"));
  EXPECT_EQ((std::vector<DbRow>{{"2.5", "x"}}), getAllRows(connection, "select 2.5, 'x'"));
}

TEST_F(SqliteDatabase, failuresCarrySqlitesMessage) {
  EXPECT_THROW_MSG(exec(connection, "nonsense"), DbError, "near \"nonsense\": syntax error");
  EXPECT_THROW_MSG(getAllRows(connection, "select * from nowhere"), DbError, "no such table: nowhere");
  exec(connection, "insert into person(name) values (?)", {"bob"});
  EXPECT_THROW_MSG(exec(connection, "insert into person(name) values (?)", {"bob"}), DbError,
                   "UNIQUE constraint failed: person.name");
  // A failure while stepping, after rows may already have come back.
  EXPECT_THROW_MSG(getAllRows(connection, "select abs(-9223372036854775807 - 1)"), DbError, "integer overflow");
  EXPECT_EQ(std::vector<DbRow>{{"bob"}}, names());
}

}  // namespace
}  // namespace nc
