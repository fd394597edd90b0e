// The JSON parser and both writers. Whatever parses must come back from
// either writer as the same tree, and writing is a fixed point: the text a
// writer makes of a parsed document it makes again of that text.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "utils/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc;
  using namespace nc::fuzz;
  JsonValue value;
  try {
    value = parseJson(textOf(data, size));
  } catch (const JsonParseError&) {
    return 0;
  }
  const std::string compact = toCompactJson(value);
  const std::string pretty = toPrettyJson(value);
  const JsonValue fromCompact = parseJson(compact);
  const JsonValue fromPretty = parseJson(pretty);
  check(fromCompact == value, "the compact form parses to the same tree");
  check(fromPretty == value, "the pretty form parses to the same tree");
  check(toCompactJson(fromCompact) == compact, "the compact form is a fixed point");
  check(toPrettyJson(fromPretty) == pretty, "the pretty form is a fixed point");
  check(compact.find('\n') == std::string::npos, "the compact form has no line break");
  return 0;
}
