// Whether a request names this service in its Host header. A page on another
// site that rebinds its own DNS name to the gateway's address becomes
// same-origin with the console in the browser, but its requests still carry
// that foreign name as Host; answering only names we go by keeps it out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transport/http_types.h"

namespace nc {

struct AllowedHosts {
  // Lower case, without a trailing dot. IP literals are always allowed:
  // rebinding needs a name.
  std::vector<std::string> names;
};

// "localhost", the machine's name with and without ".local", and the
// comma-separated `extraNames` (blanks around each ignored, empty ones skipped).
AllowedHosts newAllowedHosts(std::string_view machineName, std::string_view extraNames);

// A Host header value: an IPv4 literal, a bracketed IPv6 literal or an allowed
// name, each optionally followed by ":" and a decimal port.
bool hostAllowed(const AllowedHosts& allowed, std::string_view host);

// A request names this service when it has exactly one allowed Host, or has
// none and is older than HTTP/1.1, which did not require it. A target in
// absolute form must name this service too, since it overrides Host.
bool requestNamesThisService(const AllowedHosts& allowed, const HttpRequest& request);

}  // namespace nc
