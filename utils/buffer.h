// Shared byte buffers: owners of a heap block or zero-copy views into another
// buffer, with bounds-checked access and the uppercase hex and padded Base64
// codecs.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace nc {

class BufferError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class BufferOutOfBoundError : public BufferError {
 public:
  using BufferError::BufferError;
};

class BufferValueError : public BufferError {
 public:
  using BufferError::BufferError;
};

class Buffer;
using BufferRef = std::shared_ptr<Buffer>;

// Always held through a BufferRef. A view keeps a strong reference to the
// buffer it was taken from, so its bytes stay valid as long as the view lives.
class Buffer {
 public:
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  uint8_t operator[](int64_t i) const;
  uint8_t& operator[](int64_t i);

  const BufferRef parent;  // empty for an owner
  const int64_t nByte;
  uint8_t* const self;

 private:
  explicit Buffer(int64_t nByte);
  Buffer(BufferRef parent, uint8_t* start, int64_t nByte);

  std::unique_ptr<uint8_t[]> storage_;

  friend BufferRef newOwnedBuffer(int64_t nByte);
  friend BufferRef slice(const BufferRef& buffer, int64_t a, int64_t b);
  friend BufferRef range(const BufferRef& buffer, int64_t a, int64_t b);
};

// An owner of nByte bytes whose contents are unspecified; a negative length
// raises std::length_error.
BufferRef newOwnedBuffer(int64_t nByte);
// Lengths come both from signed arithmetic and from the sodium library's
// size_t sizes; one that does not fit int64 is refused like a negative one.
template <std::integral Length>
BufferRef newBuffer(Length nByte) {
  return newOwnedBuffer(std::in_range<int64_t>(nByte) ? static_cast<int64_t>(nByte) : -1);
}
// A byte-for-byte copy of the text, without a terminator.
BufferRef newBuffer(std::string_view bytes);
BufferRef newBufferZeroized(int64_t nByte);
BufferRef newBufferRandomized(int64_t nByte);

uint8_t* toPointer(const Buffer& buffer);
char* toPtrCchar(const Buffer& buffer);
// Address of byte i; every indexed access goes through this check.
uint8_t* pos(const Buffer& buffer, int64_t i);

// Views sharing the buffer's bytes: range is inclusive (a .. b), rangeToEnd
// counts its end from the back (a .. ^k), slice is half-open [a, b).
BufferRef range(const BufferRef& buffer, int64_t a, int64_t b);
BufferRef rangeToEnd(const BufferRef& buffer, int64_t a, int64_t k);
BufferRef slice(const BufferRef& buffer, int64_t a, int64_t b);

void write(Buffer& destination, int64_t offset, const void* source, int64_t count);
// A new owner holding the bytes of x followed by those of y.
BufferRef concat(const Buffer& x, const Buffer& y);
std::string toString(const Buffer& buffer);
void zeroize(Buffer& buffer);
void randomize(Buffer& buffer);

// Zeroizes a buffer holding a secret when the scope ends, also when an
// exception leaves it.
class WipeOnExit {
 public:
  explicit WipeOnExit(Buffer& buffer) : buffer_(buffer) {}
  ~WipeOnExit() { zeroize(buffer_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  Buffer& buffer_;
};

std::string hex(const Buffer& buffer);
uint8_t decodeHexChar(char c);
// Ignores every character that is not a hex digit, so "0a:B1 ff" decodes.
BufferRef decodeHex(std::string_view text);

std::string base64(const Buffer& buffer);
BufferRef decodeBase64(std::string_view text);

}  // namespace nc
