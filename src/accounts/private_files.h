// The account database holds password hashes; if other local users can read
// it they can copy the hashes and guess offline at leisure. Its files are
// therefore kept to their owner.
#pragma once

#include <string>

#include "utils/logger.h"

namespace nc {

// Creates the database file `path` with mode 0600 when it does not exist, so
// that SQLite, which gives its journal and WAL files the database file's mode,
// makes those 0600 as well. An existing database, journal, WAL or shared-memory
// file with any group or other bits loses them, with one line on `log` each.
// A creation that fails is left for the database open to report.
void keepDatabasePrivate(const std::string& path, Logger& log);

}  // namespace nc
