#include "utils/quoted_text.h"

#include <algorithm>
#include <array>
#include <utility>

namespace nc {

std::string quoteEscaped(std::string_view text) {
  static constexpr std::string_view hexDigits = "0123456789ABCDEF";
  static constexpr std::array<std::pair<char, std::string_view>, 11> named{{{'\a', "\\a"},
                                                                           {'\b', "\\b"},
                                                                           {'\t', "\\t"},
                                                                           {'\n', "\\n"},
                                                                           {'\v', "\\v"},
                                                                           {'\f', "\\f"},
                                                                           {'\r', "\\r"},
                                                                           {'\x1b', "\\e"},
                                                                           {'"', "\\\""},
                                                                           {'\'', "\\'"},
                                                                           {'\\', "\\\\"}}};
  std::string quoted = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const auto escape = std::find_if(named.begin(), named.end(), [c](const auto& entry) { return entry.first == c; });
    if (escape != named.end())
      quoted += escape->second;
    else if (byte < 0x20 || byte >= 0x7f)
      quoted += std::string{'\\', 'x', hexDigits[byte >> 4], hexDigits[byte & 0xf]};
    else
      quoted += c;
  }
  return quoted + "\"";
}

}  // namespace nc
