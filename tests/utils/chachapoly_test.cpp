#include "utils/chachapoly.h"

#include <gtest/gtest.h>

#include "support/expect_throw_msg.h"

namespace nc {
namespace {

TEST(Chachapoly, rfc8439AeadVector) {
  // RFC 8439 section 2.8.2.
  const BufferRef key = decodeHex("808182838485868788898a8b8c8d8e8f 909192939495969798999a9b9c9d9e9f");
  const BufferRef nonce = decodeHex("07000000 40414243 44454647");
  const BufferRef ad = decodeHex("50515253 c0c1c2c3 c4c5c6c7");
  const BufferRef message = newBuffer(
      "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, "
      "sunscreen would be it.");
  const BufferRef sealed = chachapolyEncrypt(*key, *nonce, *message, ad.get());
  EXPECT_EQ(message->nByte + 16, sealed->nByte);
  EXPECT_EQ(
      "D31A8D34648E60DB7B86AFBC53EF7EC2A4ADED51296E08FEA9E2B5A736EE62D63DBEA45E8CA9671282FAFB69DA92728B"
      "1A71DE0A9E060B2905D6A5B67ECD3B3692DDBD7F2D778B8C9803AEE328091B58FAB324E4FAD675945585808B4831D7BC"
      "3FF4DEF08E4B7A9DE576D26586CEC64B6116",
      hex(*slice(sealed, 0, message->nByte)));
  EXPECT_EQ("1AE10B594F09E26A7E902ECBD0600691", hex(*rangeToEnd(sealed, message->nByte, 1)));
  // Sealed with associated data, it cannot be opened without it.
  EXPECT_THROW_MSG(chachapolyDecrypt(*key, *nonce, *sealed), VerificationFailedException, "verification failed");
}

TEST(Chachapoly, sizesComeFromTheLibrary) {
  EXPECT_EQ(32, chachapolyKeySize());
  EXPECT_EQ(12, chachapolyNonceSize());
  EXPECT_EQ(16, chachapolyMacSize());
  const BufferRef key = genChachapolyKey();
  const BufferRef nonce = genChachapolyNonce();
  EXPECT_EQ(32, key->nByte);
  EXPECT_EQ(12, nonce->nByte);
  EXPECT_NE(toString(*key), toString(*genChachapolyKey()));
  EXPECT_NE(toString(*nonce), toString(*genChachapolyNonce()));
}

TEST(Chachapoly, sizeChecksComeFirstAndKeyBeforeNonce) {
  const BufferRef message = newBuffer("hello");
  const BufferRef goodKey = genChachapolyKey();
  const BufferRef goodNonce = genChachapolyNonce();
  for (const int64_t keyLength : {0, 31, 33}) {
    const BufferRef key = newBufferZeroized(keyLength);
    EXPECT_THROW_MSG(chachapolyEncrypt(*key, *newBuffer(8), *message), InvalidKeySizeError,
                     "Key size must be 32 bytes");
    EXPECT_THROW_MSG(chachapolyDecrypt(*key, *newBuffer(8), *message), InvalidKeySizeError,
                     "Key size must be 32 bytes");
  }
  for (const int64_t nonceLength : {8, 11, 13, 24}) {
    const BufferRef nonce = newBufferZeroized(nonceLength);
    EXPECT_THROW_MSG(chachapolyEncrypt(*goodKey, *nonce, *message), InvalidNonceSizeError,
                     "Nonce size must be 12 bytes");
    EXPECT_THROW_MSG(chachapolyDecrypt(*goodKey, *nonce, *message), InvalidNonceSizeError,
                     "Nonce size must be 12 bytes");
  }
}

TEST(Chachapoly, sealAndOpen) {
  const BufferRef key = genChachapolyKey();
  const BufferRef nonce = genChachapolyNonce();
  const BufferRef message = newBuffer("hello");
  const BufferRef sealed = chachapolyEncrypt(*key, *nonce, *message);
  EXPECT_EQ(21, sealed->nByte);
  EXPECT_EQ(hex(*sealed), hex(*chachapolyEncrypt(*key, *nonce, *message)));
  EXPECT_NE(hex(*sealed), hex(*chachapolyEncrypt(*key, *genChachapolyNonce(), *message)));
  EXPECT_EQ("hello", toString(*chachapolyDecrypt(*key, *nonce, *sealed)));
  const BufferRef empty = chachapolyEncrypt(*key, *nonce, *newBuffer(""));
  EXPECT_EQ(16, empty->nByte);
  EXPECT_EQ(0, chachapolyDecrypt(*key, *nonce, *empty)->nByte);
}

TEST(Chachapoly, anyChangedByteFailsVerification) {
  const BufferRef key = genChachapolyKey();
  const BufferRef nonce = genChachapolyNonce();
  const BufferRef sealed = chachapolyEncrypt(*key, *nonce, *newBuffer("hello"));
  for (const BufferRef& changed : {sealed, nonce, key}) {
    for (int64_t i = 0; i < changed->nByte; ++i) {
      (*changed)[i] ^= 0x01;
      EXPECT_THROW_MSG(chachapolyDecrypt(*key, *nonce, *sealed), VerificationFailedException,
                       "verification failed");
      (*changed)[i] ^= 0x01;
    }
  }
  EXPECT_EQ("hello", toString(*chachapolyDecrypt(*key, *nonce, *sealed)));
}

TEST(Chachapoly, sealedShorterThanTheTag) {
  const BufferRef key = genChachapolyKey();
  const BufferRef nonce = genChachapolyNonce();
  for (int64_t length = 0; length < 16; ++length) {
    EXPECT_THROW_MSG(chachapolyDecrypt(*key, *nonce, *newBufferZeroized(length)), VerificationFailedException,
                     "verification failed");
  }
}

}  // namespace
}  // namespace nc
