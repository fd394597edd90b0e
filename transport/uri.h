// Request targets.
#pragma once

#include <string>
#include <string_view>

namespace nc {

// A request target. An origin-form target such as "/p?q#f" sets only path "/p",
// query "q" and anchor "f". Nothing is percent-decoded.
struct Uri {
  std::string scheme, username, password, hostname, port, path, query, anchor;
  bool opaque = false;
  bool isIpv6 = false;
};

// Accepts any text.
Uri parseUri(std::string_view text);

}  // namespace nc
