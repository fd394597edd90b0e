// Reading the packet forwarder's JSON configuration file, and the merge that a
// patch applies to it (the change itself is the verified apply's).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <asio/awaitable.hpp>

#include "utils/json.h"

namespace nc {

// The whole file at `path`, parsed (comments allowed). Raises
// std::system_error when it cannot be read, JsonParseError when it is not JSON.
asio::awaitable<JsonValue> readForwarderConfig(std::string path);

// The most of the forwarder file read as text. A forwarder file takes 5 to
// 20 KiB; a file past 1 MiB is none, and its text would go whole into one
// answer held in memory.
constexpr size_t maxForwarderFileBytes = 1024 * 1024;

// The forwarder file as it stands, and why it is not valid JSON (comments
// allowed) when it is not.
struct ForwarderFileText {
  std::string text;
  std::optional<JsonParseError> problem;
};

// Raises std::system_error when the file cannot be read, FileTooLargeError
// past maxForwarderFileBytes.
asio::awaitable<ForwarderFileText> readForwarderText(std::string path);

// The base with the patch applied: objects merge member by member (untouched
// base members first, then the patch's members in the patch's order); anything
// else in the patch replaces the base whole. A null is stored, not a deletion.
JsonValue merge(const JsonValue& base, const JsonValue& patch);

}  // namespace nc
