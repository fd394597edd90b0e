// Auth tokens: a compact JSON payload sealed with ChaCha20-Poly1305 under the
// process's token key, sent as padded Base64 of nonce, ciphertext and tag.
// The key is made anew at every start, so a restart invalidates every token.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "utils/buffer.h"
#include "utils/json.h"

namespace nc {

class InvalidTokenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string encodeAuthToken(const Buffer& key, const JsonValue& payload);
// Text that is not padded Base64 raises the decoder's BufferValueError.
JsonValue decodeAuthToken(const Buffer& key, std::string_view token);

}  // namespace nc
