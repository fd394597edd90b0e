// Writing a file so that readers and a power cut see either the old file or
// the new one, never a part of it.
#pragma once

#include <sys/types.h>

#include <string>

namespace nc {

// Writes `text` to a temporary file beside `path`, gives it `mode`, syncs it,
// renames it over `path` and syncs the folder. Raises std::system_error; on a
// failure `path` is as it was and no temporary file is left.
void writeFileAtomically(const std::string& path, const std::string& text, mode_t mode);

}  // namespace nc
