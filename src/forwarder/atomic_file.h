// Reading a whole file, and writing one so that readers and a power cut see
// either the old file or the new one, never a part of it.
#pragma once

#include <sys/types.h>

#include <string>

namespace nc {

// Raises std::system_error with the system's text for the error.
std::string readWholeFile(const std::string& path);

// Writes `text` to a temporary file beside the target of `path` (symbolic links
// followed), syncs it, keeps the old file's mode and owner, renames it over
// the target and syncs the directory. The target must exist.
void replaceFileAtomically(const std::string& path, const std::string& text);

// As replaceFileAtomically, for a file that may not exist yet: it gets `mode`.
void writeFileAtomically(const std::string& path, const std::string& text, mode_t mode);

}  // namespace nc
