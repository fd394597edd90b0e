// The hex and Base64 codecs, both ways: the input decoded as text, and the
// input as bytes encoded and decoded again.
#include <cctype>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "utils/buffer.h"

namespace nc::fuzz {
namespace {

bool sameBytes(const Buffer& buffer, std::string_view bytes) { return toString(buffer) == bytes; }

void decodeHexText(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += char(std::toupper(static_cast<unsigned char>(c)));
  try {
    const BufferRef bytes = decodeHex(text);
    check(hex(*bytes) == digits, "decoding keeps every hex digit and nothing else");
  } catch (const BufferValueError&) {
    check(digits.size() % 2 == 1, "only an odd number of hex digits is refused");
  }
}

void decodeBase64Text(std::string_view text) {
  try {
    const BufferRef bytes = decodeBase64(text);
    check(size_t(bytes->nByte) <= text.size() / 4 * 3, "four characters make at most three bytes");
    const std::string again = base64(*bytes);
    check(again.size() == text.size(), "re-encoding gives the same length");
    check(sameBytes(*decodeBase64(again), toString(*bytes)), "re-encoded bytes decode to themselves");
  } catch (const BufferValueError&) {
  }
}

void encodeBytes(std::string_view bytes) {
  const BufferRef buffer = newBuffer(bytes);
  const std::string hexText = hex(*buffer);
  check(hexText.size() == 2 * bytes.size(), "hex takes two digits a byte");
  for (char c : hexText) check(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'), "hex is upper case");
  check(sameBytes(*decodeHex(hexText), bytes), "hex decodes to the bytes encoded");
  const std::string base64Text = base64(*buffer);
  check(base64Text.size() == (bytes.size() + 2) / 3 * 4, "Base64 is padded to whole quads");
  check(sameBytes(*decodeBase64(base64Text), bytes), "Base64 decodes to the bytes encoded");
}

}  // namespace
}  // namespace nc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc::fuzz;
  const std::string_view input = textOf(data, size);
  decodeHexText(input);
  decodeBase64Text(input);
  encodeBytes(input);
  return 0;
}
