// What the fuzz targets share: a property check that stops the run the way a
// crash does, so that libFuzzer keeps the input and prints it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace nc::fuzz {

inline void check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

inline std::string_view textOf(const unsigned char* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace nc::fuzz
