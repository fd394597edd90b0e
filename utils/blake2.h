// Keyed BLAKE2b with the library's minimum (16-byte) output, and its salts.
#pragma once

#include <cstdint>

#include "utils/buffer.h"

namespace nc {

constexpr int64_t blake2bSaltLength = 12;

BufferRef genBlake2bSalt();

// The key is BLAKE2b's own key parameter: a salt given here makes a keyed
// hash, not a hash of salt and input joined. Without a key it is plain BLAKE2b.
BufferRef blake2b(const Buffer& input, const Buffer* key = nullptr);

}  // namespace nc
