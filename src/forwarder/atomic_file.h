// Reading a whole file, and writing one so that readers and a power cut see
// either the old file or the new one, never a part of it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>

namespace nc {

// A file longer than its reader's bound, which is not read on.
class FileTooLargeError : public std::runtime_error {
 public:
  FileTooLargeError(const std::string& path, size_t maxBytes)
      : std::runtime_error(path + " is larger than " + std::to_string(maxBytes) + " bytes") {}
};

// Raises std::system_error with the system's text for the error, and
// FileTooLargeError past `maxBytes`.
std::string readWholeFile(const std::string& path, size_t maxBytes = std::numeric_limits<size_t>::max());

// Writes `text` to a temporary file beside the target of `path` (symbolic links
// followed), syncs it, keeps the old file's mode and owner, renames it over
// the target and syncs the directory. The target must exist.
void replaceFileAtomically(const std::string& path, const std::string& text);

// As replaceFileAtomically, for a file that may not exist yet: it gets `mode`.
void writeFileAtomically(const std::string& path, const std::string& text, mode_t mode);

}  // namespace nc
