// Auth token decoding under a fixed key: any text either opens to the JSON
// document that was sealed or is refused with one of the two token failures.
// Text that parses as JSON is also sealed and must open to itself.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "src/accounts/token_seal.h"
#include "utils/buffer.h"
#include "utils/libsodium.h"

namespace nc::fuzz {
namespace {

// The key the seed tokens were sealed with: 32 bytes 00 01 02 .. 1F.
const Buffer& fixedKey() {
  static const BufferRef key = [] {
    BufferRef bytes = newBuffer(32);
    for (int i = 0; i < 32; ++i) (*bytes)[i] = uint8_t(i);
    return bytes;
  }();
  return *key;
}

}  // namespace
}  // namespace nc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc;
  using namespace nc::fuzz;
  ensureSodium();
  const std::string_view input = textOf(data, size);
  try {
    decodeAuthToken(fixedKey(), input);
  } catch (const InvalidTokenError&) {
  } catch (const BufferValueError&) {
  }
  JsonValue payload;
  try {
    payload = parseJson(input);
  } catch (const JsonParseError&) {
    return 0;
  }
  const std::string token = encodeAuthToken(fixedKey(), payload);
  check(decodeAuthToken(fixedKey(), token) == payload, "a sealed token opens to its payload");
  return 0;
}
