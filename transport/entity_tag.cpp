#include "transport/entity_tag.h"

#include "transport/white_space.h"

namespace nc {
namespace {

// The opaque tag of `W/"x"` or `"x"` with its quotes; empty when malformed.
std::string_view opaqueTag(std::string_view element) {
  if (element.starts_with("W/")) element.remove_prefix(2);
  if (element.size() < 2 || element.front() != '"' || element.back() != '"') return {};
  if (element.substr(1, element.size() - 2).find('"') != std::string_view::npos) return {};
  return element;
}

}  // namespace

bool noneMatchNames(const HeaderValues& field, std::string_view etag) {
  for (std::string_view value : field) {
    std::string_view element = trimWhiteSpace(value);
    if (element == "*") return true;
    std::string_view tag = opaqueTag(element);
    if (!tag.empty() && tag == etag) return true;
  }
  return false;
}

}  // namespace nc
