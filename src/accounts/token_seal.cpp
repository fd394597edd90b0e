#include "src/accounts/token_seal.h"

#include "utils/chachapoly.h"

namespace nc {

namespace {

BufferRef openSealedPart(const Buffer& key, const BufferRef& bytes, std::string_view token) {
  const int64_t nonceSize = chachapolyNonceSize();
  const BufferRef nonce = range(bytes, 0, nonceSize - 1);
  const BufferRef sealed = rangeToEnd(bytes, nonceSize, 1);
  try {
    return chachapolyDecrypt(key, *nonce, *sealed);
  } catch (const ChachapolyError&) {
    throw InvalidTokenError("Invalid MAC: " + std::string(token));
  }
}

}  // namespace

std::string encodeAuthToken(const Buffer& key, const JsonValue& payload) {
  const BufferRef nonce = genChachapolyNonce();
  const BufferRef sealed = chachapolyEncrypt(key, *nonce, *newBuffer(toCompactJson(payload)));
  return base64(*concat(*nonce, *sealed));
}

JsonValue decodeAuthToken(const Buffer& key, std::string_view token) {
  const BufferRef bytes = decodeBase64(token);
  if (bytes->nByte <= chachapolyNonceSize()) {
    throw InvalidTokenError("Invalid size: " + std::string(token));
  }
  const BufferRef opened = openSealedPart(key, bytes, token);
  // Only this key's holder can seal, so text that opens but does not parse
  // is treated like a forgery.
  try {
    return parseJson(toString(*opened));
  } catch (const JsonParseError&) {
    throw InvalidTokenError("Invalid MAC: " + std::string(token));
  }
}

}  // namespace nc
