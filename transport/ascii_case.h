// ASCII-only case helpers. Header names and the protocol's keywords are ASCII;
// the locale's rules must not apply to them, and bytes above 127 pass unchanged.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace nc {

inline bool isUpperAscii(char c) { return c >= 'A' && c <= 'Z'; }
inline char lowerAscii(char c) { return isUpperAscii(c) ? static_cast<char>(c - 'A' + 'a') : c; }
inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

inline void lowerInPlace(std::string& text) { std::transform(text.begin(), text.end(), text.begin(), lowerAscii); }

}  // namespace nc
