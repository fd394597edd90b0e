// Reading the packet forwarder's JSON configuration file and merge-patching it.
#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "utils/json.h"

namespace nc {

struct Context;

// The whole file, parsed (comments allowed).
asio::awaitable<JsonValue> getForwarderConfig(const Context& context);

// Reads the file, merges `patch` into it and replaces the file with the result
// in the 2-space pretty form. Patches run one at a time, and the file is
// replaced atomically: readers and a power cut see the old or the new file.
asio::awaitable<void> updateForwarderConfig(const Context& context, const JsonValue& patch);

// The base with the patch applied: objects merge member by member (untouched
// base members first, then the patch's members in the patch's order); anything
// else in the patch replaces the base whole. A null is stored, not a deletion.
JsonValue merge(const JsonValue& base, const JsonValue& patch);

// The file operations, exposed for tests.
std::string readWholeFile(const std::string& path);
// Writes `text` to a temporary file beside the target of `path` (symbolic links
// followed), syncs it, keeps the old file's mode and owner, renames it over
// the target and syncs the directory.
void replaceFileAtomically(const std::string& path, const std::string& text);

}  // namespace nc
