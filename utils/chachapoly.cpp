#include "utils/chachapoly.h"

#include <sodium.h>

#include <string>

#include "utils/libsodium.h"

namespace nc {

namespace {

// The library's key generator fills exactly this many bytes.
constexpr int64_t generatedKeyLength = 32;
static_assert(crypto_aead_chacha20poly1305_KEYBYTES == generatedKeyLength);

// Key before nonce, so a call with both wrong reports the key.
void checkKeyAndNonce(const Buffer& key, const Buffer& nonce) {
  if (key.nByte != chachapolyKeySize()) {
    throw InvalidKeySizeError();
  }
  if (nonce.nByte != chachapolyNonceSize()) {
    throw InvalidNonceSizeError();
  }
}

}  // namespace

InvalidKeySizeError::InvalidKeySizeError()
    : ChachapolyError("Key size must be " + std::to_string(chachapolyKeySize()) + " bytes") {}

InvalidNonceSizeError::InvalidNonceSizeError()
    : ChachapolyError("Nonce size must be " + std::to_string(chachapolyNonceSize()) + " bytes") {}

int64_t chachapolyKeySize() { return static_cast<int64_t>(crypto_aead_chacha20poly1305_ietf_keybytes()); }

int64_t chachapolyNonceSize() { return static_cast<int64_t>(crypto_aead_chacha20poly1305_ietf_npubbytes()); }

int64_t chachapolyMacSize() { return static_cast<int64_t>(crypto_aead_chacha20poly1305_ietf_abytes()); }

BufferRef genChachapolyKey() {
  ensureSodium();
  BufferRef key = newBufferZeroized(generatedKeyLength);
  crypto_aead_chacha20poly1305_keygen(toPointer(*key));
  return key;
}

BufferRef genChachapolyNonce() { return newBufferRandomized(chachapolyNonceSize()); }

BufferRef chachapolyEncrypt(const Buffer& key, const Buffer& nonce, const Buffer& message,
                            const Buffer* associatedData) {
  checkKeyAndNonce(key, nonce);
  ensureSodium();
  BufferRef sealed = newBuffer(chachapolyMacSize() + message.nByte);
  unsigned long long sealedLength = 0;
  const int result = crypto_aead_chacha20poly1305_ietf_encrypt(
      toPointer(*sealed), &sealedLength, toPointer(message), static_cast<unsigned long long>(message.nByte),
      associatedData ? toPointer(*associatedData) : nullptr,
      associatedData ? static_cast<unsigned long long>(associatedData->nByte) : 0, nullptr, toPointer(nonce),
      toPointer(key));
  if (result != 0) {
    throw AeadException();
  }
  return slice(sealed, 0, static_cast<int64_t>(sealedLength));
}

BufferRef chachapolyDecrypt(const Buffer& key, const Buffer& nonce, const Buffer& sealed) {
  checkKeyAndNonce(key, nonce);
  const int64_t macSize = chachapolyMacSize();
  if (sealed.nByte < macSize) {
    throw VerificationFailedException();
  }
  ensureSodium();
  BufferRef message = newBuffer(sealed.nByte - macSize);
  unsigned long long messageLength = 0;
  const int result = crypto_aead_chacha20poly1305_ietf_decrypt(
      toPointer(*message), &messageLength, nullptr, toPointer(sealed), static_cast<unsigned long long>(sealed.nByte),
      nullptr, 0, toPointer(nonce), toPointer(key));
  if (result == -1) {
    throw VerificationFailedException();
  }
  if (result != 0) {
    throw DecryptionFailedException();
  }
  return slice(message, 0, static_cast<int64_t>(messageLength));
}

}  // namespace nc
