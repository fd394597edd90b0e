#include "utils/blake2.h"

#include <sodium.h>

#include <stdexcept>

#include "utils/libsodium.h"

namespace nc {

BufferRef genBlake2bSalt() { return newBufferRandomized(blake2bSaltLength); }

BufferRef blake2b(const Buffer& input, const Buffer* key) {
  ensureSodium();
  BufferRef digest = newBuffer(crypto_generichash_blake2b_bytes_min());
  const int result = crypto_generichash_blake2b(
      toPointer(*digest), static_cast<size_t>(digest->nByte), toPointer(input),
      static_cast<unsigned long long>(input.nByte), key ? toPointer(*key) : nullptr,
      key ? static_cast<size_t>(key->nByte) : 0);
  // The library refuses only keys longer than 64 bytes, and callers pass
  // 12-byte salts: a failure here is a programming error.
  if (result != 0) {
    throw std::logic_error("blake2b refused its arguments");
  }
  return digest;
}

}  // namespace nc
