// Where this program's constant bytes lie in its own executable file, so that
// a large constant reply can leave with sendfile() instead of being copied
// into the socket by send().
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>

namespace nc {

struct FileSpan {
  int descriptor;  // the executable, open for reading for the process's life
  off_t offset;
};

// The place in the executable file holding exactly the `size` bytes at
// `data`, when they lie within one read-only segment loaded from it; nullopt
// for bytes anywhere else (heap, stack, writable or relocated data), or when
// the executable cannot be opened or does not hold its segments as loaded.
std::optional<FileSpan> executableFileSpan(const void* data, size_t size);

}  // namespace nc
