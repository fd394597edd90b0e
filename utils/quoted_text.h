// Text shown to a person in double quotes, with every byte that would not
// print as itself escaped, so that a line break or a terminal control
// sequence in a value cannot disguise the output around it.
#pragma once

#include <string>
#include <string_view>

namespace nc {

// Control characters, quotes and backslashes get their C escapes (\e for
// escape), other bytes below 32 or above 126 "\xHH" in uppercase hex.
std::string quoteEscaped(std::string_view text);

}  // namespace nc
