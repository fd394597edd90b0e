// The account database connection and the two ways statements are run on it.
// Statements are written with `?` placeholders; every argument is bound as
// text, so values come back as text too.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace nc {

// Carries SQLite's own message for the connection's last error.
class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A statement with more `?` than arguments: a mistake in the calling code,
// caught before the statement takes its first step.
class DbArgumentError : public std::logic_error {
 public:
  DbArgumentError() : std::logic_error("statement has more placeholders than arguments") {}
};

class Database {
 public:
  Database() = default;
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;

  // Creates the file when it does not exist.
  static Database open(const std::string& fileName);

  sqlite3* handle() const { return handle_; }

 private:
  explicit Database(sqlite3* handle) : handle_(handle) {}
  sqlite3* handle_ = nullptr;
};

using DbRow = std::vector<std::string>;

// Runs one statement for its effect; extra arguments are ignored.
void exec(Database& db, std::string_view statement, const std::vector<std::string_view>& args = {});
// Every result row, each column read as text (NULL as the empty string).
std::vector<DbRow> getAllRows(Database& db, std::string_view statement,
                              const std::vector<std::string_view>& args = {});

// Runs `work` as one transaction: all of its statements land, or none does.
template <class Work>
void inTransaction(Database& db, Work&& work) {
  exec(db, "begin immediate");
  try {
    work();
  } catch (...) {
    exec(db, "rollback");
    throw;
  }
  exec(db, "commit");
}

}  // namespace nc
