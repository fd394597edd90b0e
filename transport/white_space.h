// HTTP's optional white space: the spaces and tabs a sender may put around a
// list element, a parameter or a field value, which carry no meaning.
#pragma once

#include <string_view>

namespace nc {

inline bool isOptionalWhiteSpace(char c) { return c == ' ' || c == '\t'; }

// `text` without the optional white space at either end.
inline std::string_view trimWhiteSpace(std::string_view text) {
  while (!text.empty() && isOptionalWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isOptionalWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace nc
