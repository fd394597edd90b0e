#include "utils/buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "support/expect_throw_msg.h"

namespace nc {
namespace {

constexpr int64_t int64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t int64Max = std::numeric_limits<int64_t>::max();

BufferRef counting(int64_t n) {
  BufferRef buffer = newBuffer(n);
  for (int64_t i = 0; i < n; ++i) {
    (*buffer)[i] = static_cast<uint8_t>(i);
  }
  return buffer;
}

TEST(Buffer, hexEncoding) {
  EXPECT_EQ("00AB10", hex(*newBuffer(std::string_view("\x00\xab\x10", 3))));
  EXPECT_EQ("", hex(*newBuffer(0)));
  const BufferRef all = counting(256);
  EXPECT_EQ(toString(*all), toString(*decodeHex(hex(*all))));
}

TEST(Buffer, hexDecoding) {
  EXPECT_EQ(std::string("\x0a\xb1\xff"), toString(*decodeHex("0a:B1 ff")));
  EXPECT_EQ(std::string("\xab\xcd", 2), toString(*decodeHex("x\na-B\ncd\n")));
  EXPECT_EQ(0, decodeHex("")->nByte);
  EXPECT_EQ(0, decodeHex("xyz-:")->nByte);
  EXPECT_THROW_MSG(decodeHex("abc"), BufferValueError, "Invalid hex sequence: cnt=3");
  EXPECT_THROW_MSG(decodeHex("0xAB"), BufferValueError, "Invalid hex sequence: cnt=3");
  EXPECT_EQ(15, decodeHexChar('f'));
  EXPECT_EQ(15, decodeHexChar('F'));
  EXPECT_THROW_MSG(decodeHexChar('g'), BufferValueError, "Invalid hex character: g");
  EXPECT_THROW_MSG(decodeHexChar('G'), BufferValueError, "Invalid hex character: G");
}

TEST(Buffer, base64Encoding) {
  EXPECT_EQ("YWJj", base64(*newBuffer("abc")));
  EXPECT_EQ("YWI=", base64(*newBuffer("ab")));
  EXPECT_EQ("YQ==", base64(*newBuffer("a")));
  EXPECT_EQ("", base64(*newBuffer("")));
  // RFC 4648 section 10.
  EXPECT_EQ("Zm9vYmE=", base64(*newBuffer("fooba")));
  EXPECT_EQ("Zm9vYmFy", base64(*newBuffer("foobar")));
  EXPECT_EQ("+/8=", base64(*decodeHex("FBFF")));
}

TEST(Buffer, base64Decoding) {
  EXPECT_EQ("a", toString(*decodeBase64("YQ==")));
  EXPECT_EQ("foobar", toString(*decodeBase64("Zm9vYmFy")));
  EXPECT_EQ("FBFF", hex(*decodeBase64("+/8=")));
  EXPECT_EQ(std::string("a\0\0", 3), toString(*decodeBase64("YQ=A")));
  EXPECT_EQ(std::string("\0", 1), toString(*decodeBase64("====")));
  EXPECT_EQ(0, decodeBase64("")->nByte);
  EXPECT_THROW_MSG(decodeBase64("YQ"), BufferValueError, "Only base64 with padding is supported");
  EXPECT_THROW_MSG(decodeBase64("YWJjZ"), BufferValueError, "Only base64 with padding is supported");
  EXPECT_THROW_MSG(decodeBase64("Y-=="), BufferValueError, "Invalid base64 charactor: -");
  EXPECT_THROW_MSG(decodeBase64("YQ_="), BufferValueError, "Invalid base64 charactor: _");
  EXPECT_THROW_MSG(decodeBase64("YQ= "), BufferValueError, "Invalid base64 charactor:  ");
  const BufferRef all = counting(256);
  EXPECT_EQ(toString(*all), toString(*decodeBase64(base64(*all))));
}

TEST(Buffer, indexIsBoundsChecked) {
  const BufferRef buffer = counting(4);
  (*buffer)[3] = 0xEE;
  EXPECT_EQ(0xEE, (*buffer)[3]);
  EXPECT_EQ(buffer->self + 2, pos(*buffer, 2));
  EXPECT_THROW_MSG((*buffer)[4], BufferOutOfBoundError, "Reading buffer at position 4/4");
  EXPECT_THROW_MSG((*buffer)[5] = 1, BufferOutOfBoundError, "Reading buffer at position 5/4");
  EXPECT_THROW_MSG((*buffer)[-1], BufferOutOfBoundError, "Reading buffer at position -1/4");
  EXPECT_THROW_MSG((*newBuffer(0))[0], BufferOutOfBoundError, "Reading buffer at position 0/0");
  EXPECT_THROW_MSG(pos(*buffer, int64Min), BufferOutOfBoundError,
                   "Reading buffer at position -9223372036854775808/4");
}

TEST(Buffer, inclusiveRanges) {
  const BufferRef buffer = counting(12);
  const BufferRef whole = range(buffer, 0, 11);
  EXPECT_EQ(12, whole->nByte);
  EXPECT_EQ(buffer->self, whole->self);
  EXPECT_EQ(buffer, whole->parent);
  const BufferRef tail = rangeToEnd(buffer, 9, 1);
  EXPECT_EQ("090A0B", hex(*tail));
  EXPECT_EQ("0809", hex(*rangeToEnd(buffer, 8, 3)));
  EXPECT_THROW_MSG(rangeToEnd(buffer, 12, 1), BufferOutOfBoundError, "12 .. 11");
  EXPECT_THROW_MSG(range(buffer, 3, 2), BufferOutOfBoundError, "3 .. 2");
  EXPECT_THROW_MSG(range(buffer, 0, 12), BufferOutOfBoundError, "0 .. 12");
  EXPECT_THROW_MSG(range(buffer, -1, 3), BufferOutOfBoundError, "Reading buffer at position -1/12");
  EXPECT_THROW_MSG(range(buffer, int64Min, 0), BufferOutOfBoundError,
                   "Reading buffer at position -9223372036854775808/12");
  EXPECT_THROW_MSG(range(newBuffer(0), 0, -1), BufferOutOfBoundError, "0 .. -1");
  EXPECT_THROW(rangeToEnd(buffer, 0, int64Min), std::overflow_error);
}

TEST(Buffer, halfOpenSlices) {
  const BufferRef buffer = counting(12);
  EXPECT_EQ(toString(*buffer), toString(*slice(buffer, 0, 12)));
  EXPECT_EQ("0203", hex(*slice(buffer, 2, 4)));
  EXPECT_EQ(0, slice(buffer, 5, 5)->nByte);
  EXPECT_THROW_MSG(slice(buffer, 2, 1), BufferOutOfBoundError, "(2, 1)");
  EXPECT_THROW_MSG(slice(buffer, 0, 13), BufferOutOfBoundError, "(0, 13)");
  EXPECT_THROW_MSG(slice(buffer, -1, 2), BufferOutOfBoundError, "Reading buffer at position -1/12");
  EXPECT_THROW_MSG(slice(buffer, int64Min, int64Max), BufferOutOfBoundError,
                   "(-9223372036854775808, 9223372036854775807)");
  // Empty slices at the end are empty views, nothing can be reached through them.
  const BufferRef atEnd = slice(buffer, 12, 12);
  EXPECT_EQ(0, atEnd->nByte);
  EXPECT_EQ("", toString(*atEnd));
  EXPECT_THROW_MSG((*atEnd)[0], BufferOutOfBoundError, "Reading buffer at position 0/0");
  EXPECT_EQ(0, slice(newBuffer(0), 0, 0)->nByte);
}

TEST(Buffer, viewsShareBytesWithTheirParent) {
  const BufferRef buffer = counting(12);
  const BufferRef view = slice(buffer, 4, 8);
  const BufferRef inner = range(view, 1, 2);
  EXPECT_EQ(view, inner->parent);
  (*inner)[0] = 0xAA;
  EXPECT_EQ(0xAA, (*buffer)[5]);
  (*buffer)[6] = 0xBB;
  EXPECT_EQ("AABB", hex(*inner));
  EXPECT_THROW_MSG((*view)[4], BufferOutOfBoundError, "Reading buffer at position 4/4");
  zeroize(*view);
  EXPECT_EQ("000102030000000008090A0B", hex(*buffer));
}

TEST(Buffer, viewsKeepTheirParentAlive) {
  BufferRef buffer = counting(12);
  BufferRef view = slice(buffer, 2, 10);
  const BufferRef inner = rangeToEnd(view, 1, 2);
  buffer.reset();
  view.reset();
  EXPECT_EQ("030405060708", hex(*inner));
  (*inner)[0] = 0x33;
  EXPECT_EQ(0x33, (*inner->parent->parent)[3]);
}

TEST(Buffer, writeStaysInsideTheDestination) {
  const BufferRef destination = newBufferZeroized(4);
  write(*destination, 1, "abc", 3);
  EXPECT_EQ("00616263", hex(*destination));
  write(*destination, 4, "", 0);
  EXPECT_THROW_MSG(write(*destination, 2, "xyz", 3), BufferOutOfBoundError, "Out of bound write is forbidden");
  EXPECT_THROW_MSG(write(*destination, -1, "xy", 2), BufferOutOfBoundError, "Out of bound write is forbidden");
  EXPECT_THROW_MSG(write(*destination, 2, "xy", -1), BufferOutOfBoundError, "Out of bound write is forbidden");
  EXPECT_THROW(write(*destination, int64Max, "x", 1), std::overflow_error);
  EXPECT_EQ("00616263", hex(*destination));
  const BufferRef view = slice(destination, 1, 3);
  EXPECT_THROW_MSG(write(*view, 1, "xy", 2), BufferOutOfBoundError, "Out of bound write is forbidden");
  EXPECT_EQ("00616263", hex(*destination));
}

TEST(Buffer, concatenationCopiesIntoANewOwner) {
  BufferRef x = counting(12);
  BufferRef y = newBufferZeroized(20);
  const BufferRef joined = concat(*x, *y);
  x.reset();
  y.reset();
  EXPECT_EQ(32, joined->nByte);
  EXPECT_EQ(nullptr, joined->parent);
  EXPECT_EQ("000102030405060708090A0B" + std::string(40, '0'), hex(*joined));
  EXPECT_EQ("", hex(*concat(*newBuffer(0), *newBuffer(""))));
}

TEST(Buffer, constructors) {
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(withNul, toString(*newBuffer(withNul)));
  EXPECT_EQ(std::string(16, '\0'), toString(*newBufferZeroized(16)));
  EXPECT_NE(nullptr, newBuffer(0)->self);
  EXPECT_THROW(newBuffer(-1), std::length_error);
  EXPECT_THROW(newBuffer(std::numeric_limits<size_t>::max()), std::length_error);
  // On a 32-bit system 2^32 bytes cannot be addressed; taken modulo 2^32 it
  // would become an empty allocation behind a 4 GiB length.
  if constexpr (sizeof(size_t) < sizeof(int64_t)) {
    EXPECT_THROW(newBuffer(int64_t{1} << 32), std::length_error);
  }
  EXPECT_THROW(newBufferZeroized(-5), std::length_error);
  const BufferRef random = newBufferRandomized(32);
  EXPECT_NE(toString(*random), toString(*newBufferRandomized(32)));
  const std::string before = toString(*random);
  randomize(*random);
  EXPECT_NE(before, toString(*random));
}

}  // namespace
}  // namespace nc
