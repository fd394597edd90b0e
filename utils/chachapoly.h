// ChaCha20-Poly1305 IETF sealing and opening over Buffers. Sizes are asked of
// libsodium at every use rather than built in.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "utils/buffer.h"

namespace nc {

class ChachapolyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class InvalidKeySizeError : public ChachapolyError {
 public:
  InvalidKeySizeError();
};

class InvalidNonceSizeError : public ChachapolyError {
 public:
  InvalidNonceSizeError();
};

class AeadException : public ChachapolyError {
 public:
  AeadException() : ChachapolyError("Encryption failed") {}
};

// The tag did not verify: wrong key or nonce, or altered data.
class VerificationFailedException : public ChachapolyError {
 public:
  VerificationFailedException() : ChachapolyError("verification failed") {}
};

// Any other failure of the library while opening.
class DecryptionFailedException : public ChachapolyError {
 public:
  DecryptionFailedException() : ChachapolyError("verification failed") {}
};

int64_t chachapolyKeySize();
int64_t chachapolyNonceSize();
int64_t chachapolyMacSize();

// 32 random bytes from the library's key generator.
BufferRef genChachapolyKey();
BufferRef genChachapolyNonce();

// Returns the ciphertext followed by its tag; the nonce is the caller's to keep.
BufferRef chachapolyEncrypt(const Buffer& key, const Buffer& nonce, const Buffer& message,
                            const Buffer* associatedData = nullptr);
// Opens only what was sealed without associated data.
BufferRef chachapolyDecrypt(const Buffer& key, const Buffer& nonce, const Buffer& sealed);

}  // namespace nc
