#include "utils/key_value_lines.h"

namespace nc {

KeyValues keyValueLines(std::string_view text) {
  KeyValues values;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    auto equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    values.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
  }
  return values;
}

std::string valueOf(const KeyValues& values, std::string_view key) {
  auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

}  // namespace nc
