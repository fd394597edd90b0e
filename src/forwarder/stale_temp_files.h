// The temporary files that replacing a file atomically leaves beside it, and
// their removal when a killed process left them behind.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "utils/logger.h"

namespace nc {

// A temporary file this old is no longer being written: a replacement writes,
// syncs and renames its file within a second, even on slow flash.
inline constexpr std::chrono::seconds staleTemporaryAge{60};

// The mkostemp template for a temporary copy of the file `name` in `directory`:
// "DIRECTORY/.NAME.XXXXXX". The leading dot keeps it out of plain listings.
std::string temporaryTemplateFor(const std::string& directory, std::string_view name);

// The name that `entry` is a temporary copy of: ".NAME.XXXXXX" (the dot, a
// non-empty name, a dot and exactly six of mkostemp's letters and digits)
// gives NAME; any other entry gives nothing.
std::optional<std::string_view> temporaryCopyOf(std::string_view entry);

// Removes from `directory` the regular files named as temporary copies of a
// name that `ours` accepts, whose last change is more than staleTemporaryAge
// before `now`. Each removal, and each removal that fails, is one line on
// `log`. Nothing else is touched and nothing is raised: a directory that
// cannot be read is left alone.
void removeStaleTemporaryFilesIn(const std::string& directory, const std::function<bool(std::string_view)>& ours,
                                 Logger& log, std::chrono::system_clock::time_point now);

// The same for the temporary copies of the one file at `path` (symbolic links
// followed), in its directory.
void removeStaleTemporaryFiles(const std::string& path, Logger& log,
                               std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace nc
