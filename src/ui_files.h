// The web UI build, compiled into the executable as constant data.
#pragma once

#include <span>
#include <string_view>

namespace nc {

struct UiFile {
  std::string_view path;  // relative to the mount point, never starting with "/"
  std::string_view contentType;
  std::string_view content;
};

// The build's files in a fixed order; "index.html" is among them.
std::span<const UiFile> uiFiles();

}  // namespace nc
