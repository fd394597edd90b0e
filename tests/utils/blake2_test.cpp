#include "utils/blake2.h"

#include <gtest/gtest.h>

namespace nc {
namespace {

// Expected digests were made with Python's hashlib, independent of libsodium:
//   hashlib.blake2b(data, key=key, digest_size=16).hexdigest().upper()
TEST(Blake2, keyedKnownAnswers) {
  const BufferRef counting12 = decodeHex("000102030405060708090A0B");
  BufferRef counting200 = newBuffer(200);
  for (int64_t i = 0; i < 200; ++i) {
    (*counting200)[i] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ("402E50823CFBE6B84943D89CFF3107E3", hex(*blake2b(*newBuffer(""), counting12.get())));
  EXPECT_EQ("C6DE480A9A04FF10C18FC858B37E50D4", hex(*blake2b(*newBuffer("abc"), counting12.get())));
  EXPECT_EQ("94193BFA6F3B2DC71B32FBA00FFA68AF", hex(*blake2b(*newBuffer("qzvtk"), counting12.get())));
  EXPECT_EQ("6608D49ED93AF50B2D949BF8DEAA332B", hex(*blake2b(*counting200, counting12.get())));
  const BufferRef otherKey = decodeHex("A1B2C3D4E5F60718293A4B5C");
  EXPECT_EQ("6AE274B13168520BD99F3D05BDACCCEC", hex(*blake2b(*newBuffer("qzvtk"), otherKey.get())));
}

TEST(Blake2, unkeyedKnownAnswers) {
  EXPECT_EQ("CF4AB791C62B8D2B2109C90275287816", hex(*blake2b(*newBuffer("abc"))));
  EXPECT_EQ("CAE66941D9EFBD404E4D88758EA67670", hex(*blake2b(*newBuffer(""))));
}

TEST(Blake2, oversizedKeyIsAProgrammingError) {
  EXPECT_THROW(blake2b(*newBuffer("abc"), newBufferZeroized(65).get()), std::logic_error);
}

TEST(Blake2, saltsAreFreshTwelveByteValues) {
  const BufferRef salt = genBlake2bSalt();
  EXPECT_EQ(12, salt->nByte);
  EXPECT_NE(hex(*salt), hex(*genBlake2bSalt()));
}

}  // namespace
}  // namespace nc
