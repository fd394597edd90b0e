#include "utils/buffer.h"

#include <sodium.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "utils/libsodium.h"

namespace nc {

namespace {

constexpr std::string_view hexDigits = "0123456789ABCDEF";
constexpr std::string_view base64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

uint8_t decodeBase64Char(char c) {
  if (c == '=') {
    return 0;
  }
  const size_t at = base64Alphabet.find(c);
  if (at == std::string_view::npos) {
    throw BufferValueError("Invalid base64 charactor: " + std::string(1, c));
  }
  return static_cast<uint8_t>(at);
}

int64_t decodedBase64Length(std::string_view text) {
  int64_t length = static_cast<int64_t>(text.size() / 4 * 3);
  if (!text.empty() && text.back() == '=') {
    --length;
    if (text[text.size() - 2] == '=') {
      --length;
    }
  }
  return length;
}

void encodeBase64Group(std::string& out, const uint8_t* group, size_t count) {
  const uint8_t b0 = group[0];
  const uint8_t b1 = count > 1 ? group[1] : 0;
  const uint8_t b2 = count > 2 ? group[2] : 0;
  out += base64Alphabet[b0 >> 2];
  out += base64Alphabet[((b0 & 3) << 4) | (b1 >> 4)];
  out += count > 1 ? base64Alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
  out += count > 2 ? base64Alphabet[b2 & 63] : '=';
}

}  // namespace

Buffer::Buffer(int64_t nByte)
    : nByte(nByte),
      self(new uint8_t[std::max<int64_t>(nByte, 1)]),
      storage_(self) {}

Buffer::Buffer(BufferRef parent, uint8_t* start, int64_t nByte)
    : parent(std::move(parent)), nByte(nByte), self(start) {}

uint8_t Buffer::operator[](int64_t i) const { return *pos(*this, i); }

uint8_t& Buffer::operator[](int64_t i) { return *pos(*this, i); }

BufferRef newOwnedBuffer(int64_t nByte) {
  // Past the largest object the platform can hold, new[] on a 32-bit system
  // would take the length modulo 2^32 and allocate less than nByte promises.
  if (nByte < 0 || static_cast<uint64_t>(nByte) > static_cast<uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    throw std::length_error("Buffer length out of range");
  }
  return BufferRef(new Buffer(nByte));
}

BufferRef newBuffer(std::string_view bytes) {
  BufferRef buffer = newBuffer(bytes.size());
  write(*buffer, 0, bytes.data(), buffer->nByte);
  return buffer;
}

BufferRef newBufferZeroized(int64_t nByte) {
  BufferRef buffer = newBuffer(nByte);
  zeroize(*buffer);
  return buffer;
}

BufferRef newBufferRandomized(int64_t nByte) {
  BufferRef buffer = newBuffer(nByte);
  randomize(*buffer);
  return buffer;
}

uint8_t* toPointer(const Buffer& buffer) { return buffer.self; }

char* toPtrCchar(const Buffer& buffer) { return reinterpret_cast<char*>(buffer.self); }

uint8_t* pos(const Buffer& buffer, int64_t i) {
  if (i < 0 || i >= buffer.nByte) {
    throw BufferOutOfBoundError("Reading buffer at position " + std::to_string(i) + "/" +
                                std::to_string(buffer.nByte));
  }
  return buffer.self + i;
}

BufferRef range(const BufferRef& buffer, int64_t a, int64_t b) {
  if (b < a || b >= buffer->nByte) {
    throw BufferOutOfBoundError(std::to_string(a) + " .. " + std::to_string(b));
  }
  uint8_t* start = pos(*buffer, a);
  return BufferRef(new Buffer(buffer, start, b - a + 1));
}

BufferRef rangeToEnd(const BufferRef& buffer, int64_t a, int64_t k) {
  int64_t b = 0;
  if (__builtin_sub_overflow(buffer->nByte, k, &b)) {
    throw std::overflow_error("Buffer range end overflows");
  }
  return range(buffer, a, b);
}

BufferRef slice(const BufferRef& buffer, int64_t a, int64_t b) {
  if (b < a || b > buffer->nByte) {
    throw BufferOutOfBoundError("(" + std::to_string(a) + ", " + std::to_string(b) + ")");
  }
  // An empty slice at the very end has no byte for pos to check; it becomes
  // an empty view at the end address, so that opening a sealed empty message
  // works. Nothing can be read or written through it.
  uint8_t* start = a == buffer->nByte ? buffer->self + a : pos(*buffer, a);
  return BufferRef(new Buffer(buffer, start, b - a));
}

void write(Buffer& destination, int64_t offset, const void* source, int64_t count) {
  int64_t end = 0;
  if (__builtin_add_overflow(offset, count, &end)) {
    throw std::overflow_error("Buffer write end overflows");
  }
  // A negative offset or count would pass the end check yet reach memory
  // before the buffer or make memcpy's size wrap around.
  if (offset < 0 || count < 0 || end > destination.nByte) {
    throw BufferOutOfBoundError("Out of bound write is forbidden");
  }
  if (count > 0) {
    std::memcpy(destination.self + offset, source, static_cast<size_t>(count));
  }
}

BufferRef concat(const Buffer& x, const Buffer& y) {
  int64_t length = 0;
  if (__builtin_add_overflow(x.nByte, y.nByte, &length)) {
    throw std::overflow_error("Buffer length overflows");
  }
  BufferRef joined = newBuffer(length);
  write(*joined, 0, x.self, x.nByte);
  write(*joined, x.nByte, y.self, y.nByte);
  return joined;
}

std::string toString(const Buffer& buffer) {
  return std::string(toPtrCchar(buffer), static_cast<size_t>(buffer.nByte));
}

void zeroize(Buffer& buffer) { sodium_memzero(buffer.self, static_cast<size_t>(buffer.nByte)); }

void randomize(Buffer& buffer) {
  ensureSodium();
  randombytes_buf(buffer.self, static_cast<size_t>(buffer.nByte));
}

std::string hex(const Buffer& buffer) {
  std::string text;
  text.reserve(static_cast<size_t>(buffer.nByte) * 2);
  for (int64_t i = 0; i < buffer.nByte; ++i) {
    text += hexDigits[buffer.self[i] >> 4];
    text += hexDigits[buffer.self[i] & 15];
  }
  return text;
}

uint8_t decodeHexChar(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<uint8_t>(c - '0');
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<uint8_t>(c - 'A' + 10);
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<uint8_t>(c - 'a' + 10);
  }
  throw BufferValueError("Invalid hex character: " + std::string(1, c));
}

BufferRef decodeHex(std::string_view text) {
  const auto count = std::count_if(text.begin(), text.end(), isHexDigit);
  if (count % 2 != 0) {
    throw BufferValueError("Invalid hex sequence: cnt=" + std::to_string(count));
  }
  BufferRef bytes = newBuffer(count / 2);
  auto next = text.begin();
  const auto nextNibble = [&] {
    next = std::find_if(next, text.end(), isHexDigit);
    return decodeHexChar(*next++);
  };
  for (int64_t i = 0; i < bytes->nByte; ++i) {
    const uint8_t high = nextNibble();
    bytes->self[i] = static_cast<uint8_t>(high << 4 | nextNibble());
  }
  return bytes;
}

std::string base64(const Buffer& buffer) {
  std::string text;
  text.reserve(static_cast<size_t>((buffer.nByte + 2) / 3 * 4));
  for (int64_t i = 0; i < buffer.nByte; i += 3) {
    encodeBase64Group(text, buffer.self + i, static_cast<size_t>(std::min<int64_t>(3, buffer.nByte - i)));
  }
  return text;
}

BufferRef decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) {
    throw BufferValueError("Only base64 with padding is supported");
  }
  BufferRef bytes = newBuffer(decodedBase64Length(text));
  int64_t i = 0;
  for (size_t at = 0; at < text.size(); at += 4, i += 3) {
    const uint8_t s0 = decodeBase64Char(text[at]);
    const uint8_t s1 = decodeBase64Char(text[at + 1]);
    const uint8_t s2 = decodeBase64Char(text[at + 2]);
    const uint8_t s3 = decodeBase64Char(text[at + 3]);
    bytes->self[i] = static_cast<uint8_t>(s0 << 2 | s1 >> 4);
    if (i + 1 < bytes->nByte) {
      bytes->self[i + 1] = static_cast<uint8_t>(s1 << 4 | s2 >> 2);
    }
    if (i + 2 < bytes->nByte) {
      bytes->self[i + 2] = static_cast<uint8_t>(s2 << 6 | s3);
    }
  }
  return bytes;
}

}  // namespace nc
