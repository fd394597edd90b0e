// Two MiB of constant bytes that the linker places in a read-only segment
// loaded from the test's executable, as the embedded web UI is: a repeating
// 61-byte pattern, so that a shifted or reordered stretch shows.
#pragma once

#include <string_view>

namespace nc::test {

std::string_view readOnlyBytes();

}  // namespace nc::test
