// The merge of a patch into the forwarder document. The input holds the base
// and the patch, separated by the first NUL byte; each must parse.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "src/forwarder/config_file.h"
#include "utils/json.h"

namespace nc::fuzz {
namespace {

// Untouched base members first, in the base's order, then every member the
// patch names, in the patch's order, each merged with the base's member.
void checkMerged(const JsonValue& base, const JsonValue& patch, const JsonValue& merged) {
  if (!base.isObject() || !patch.isObject()) {
    check(merged == patch, "a patch that is not merged member by member replaces the base");
    return;
  }
  const JsonObject& baseObject = base.asObject();
  const JsonObject& patchObject = patch.asObject();
  const JsonObject& result = merged.asObject();
  auto member = result.begin();
  for (const auto& [key, value] : baseObject) {
    if (patchObject.contains(key)) continue;
    check(member != result.end() && member->first == key && member->second == value,
          "untouched base members come first, unchanged and in order");
    ++member;
  }
  for (const auto& [key, value] : patchObject) {
    check(member != result.end() && member->first == key, "patch members follow in the patch's order");
    const JsonValue* baseValue = baseObject.find(key);
    if (baseValue == nullptr) {
      check(member->second == value, "a new member is the patch's value");
    } else {
      checkMerged(*baseValue, value, member->second);
    }
    ++member;
  }
  check(member == result.end(), "the result has no other member");
}

}  // namespace
}  // namespace nc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc;
  using namespace nc::fuzz;
  const std::string_view input = textOf(data, size);
  const size_t separator = input.find('\0');
  if (separator == std::string_view::npos) return 0;
  JsonValue base, patch;
  try {
    base = parseJson(input.substr(0, separator));
    patch = parseJson(input.substr(separator + 1));
  } catch (const JsonParseError&) {
    return 0;
  }
  const JsonValue baseBefore = base, patchBefore = patch;
  const JsonValue merged = merge(base, patch);
  check(base == baseBefore && patch == patchBefore, "the inputs are not changed");
  checkMerged(base, patch, merged);
  check(merge(merged, patch) == merged, "applying the same patch twice changes nothing more");
  check(merge(base, JsonObject{}) == (base.isObject() ? base : JsonValue(JsonObject{})),
        "an empty patch leaves an object as it was");
  check(parseJson(toPrettyJson(merged)) == merged, "the merged document is written and read back unchanged");
  return 0;
}
