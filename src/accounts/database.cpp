#include "src/accounts/database.h"

#include <memory>
#include <utility>

namespace nc {

namespace {

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void raiseDbError(sqlite3* handle) { throw DbError(sqlite3_errmsg(handle)); }

// Binding instead of splicing quoted literals keeps quotes and NUL bytes in a
// value from changing what the statement means; the stored text is the same.
Statement prepare(Database& db, std::string_view text, const std::vector<std::string_view>& args) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.handle(), text.data(), static_cast<int>(text.size()), &raw, nullptr) != SQLITE_OK) {
    raiseDbError(db.handle());
  }
  Statement statement(raw);
  const int count = statement ? sqlite3_bind_parameter_count(raw) : 0;
  if (static_cast<size_t>(count) > args.size()) {
    throw DbArgumentError();
  }
  for (int i = 0; i < count; ++i) {
    const std::string_view arg = args[static_cast<size_t>(i)];
    if (sqlite3_bind_text64(raw, i + 1, arg.data(), arg.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
      raiseDbError(db.handle());
    }
  }
  return statement;
}

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  const int length = sqlite3_column_bytes(statement, column);
  return text ? std::string(text, static_cast<size_t>(length)) : std::string();
}

}  // namespace

Database::~Database() { sqlite3_close(handle_); }

Database::Database(Database&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
  std::swap(handle_, other.handle_);
  return *this;
}

Database Database::open(const std::string& fileName) {
  // The account table is a few rows, read at a login or a password change.
  // SQLite's defaults suit larger work: each connection carves 120 KB of
  // lookaside slots for small allocations and 20 page-cache lines in bulk at
  // once, writing to every page of both. Without them the idle service holds
  // that much less memory of its own; the cache takes its lines one by one.
  // Only possible before SQLite is initialised, that is at the first open.
  [[maybe_unused]] static const int configured = sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(fileName.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  // A failed open still hands back a connection that carries the message.
  Database db(raw);
  if (result != SQLITE_OK) {
    throw DbError(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(result));
  }
  sqlite3_db_config(raw, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
  return db;
}

void exec(Database& db, std::string_view statement, const std::vector<std::string_view>& args) {
  const Statement prepared = prepare(db, statement, args);
  if (!prepared) {
    return;
  }
  const int result = sqlite3_step(prepared.get());
  if (result != SQLITE_ROW && result != SQLITE_DONE) {
    raiseDbError(db.handle());
  }
}

std::vector<DbRow> getAllRows(Database& db, std::string_view statement, const std::vector<std::string_view>& args) {
  const Statement prepared = prepare(db, statement, args);
  std::vector<DbRow> rows;
  if (!prepared) {
    return rows;
  }
  const int columns = sqlite3_column_count(prepared.get());
  int result = SQLITE_ROW;
  while ((result = sqlite3_step(prepared.get())) == SQLITE_ROW) {
    DbRow& row = rows.emplace_back();
    for (int column = 0; column < columns; ++column) {
      row.push_back(columnText(prepared.get(), column));
    }
  }
  if (result != SQLITE_DONE) {
    raiseDbError(db.handle());
  }
  return rows;
}

}  // namespace nc
