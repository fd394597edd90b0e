// The web UI build, compiled into the executable as constant data.
#pragma once

#include <span>
#include <string_view>

namespace nc {

// One encoding of a file; empty content when the build made none.
struct UiVariant {
  std::string_view content;
  std::string_view etag;  // strong entity tag with its quotes, e.g. "\"3f2a…\""
};

struct UiFile {
  std::string_view path;  // relative to the mount point, never starting with "/"
  std::string_view contentType;
  std::string_view content;  // the file as built
  std::string_view etag = {};  // of `content`
  UiVariant gzip = {};
  UiVariant brotli = {};
};

// The build's files in a fixed order; "index.html" is among them.
std::span<const UiFile> uiFiles();

}  // namespace nc
