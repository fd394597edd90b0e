#include "server/host_check.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>

#include "transport/ascii_case.h"
#include "transport/white_space.h"

namespace nc {
namespace {

std::string lowerName(std::string_view name) {
  std::string lower(name);
  lowerInPlace(lower);
  // "localhost." is the same name as "localhost", written fully qualified.
  if (!lower.empty() && lower.back() == '.') lower.pop_back();
  return lower;
}

bool isDecimal(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Longer than any address literal inet_pton reads ("ffff:...:255.255.255.255" is 45).
constexpr size_t longestAddressLiteral = 63;

// Copied into a buffer of its own, not a string: this runs for every request.
bool parsesAs(int family, std::string_view literal) {
  if (literal.size() > longestAddressLiteral) return false;
  std::array<char, longestAddressLiteral + 1> text{};
  std::copy(literal.begin(), literal.end(), text.begin());
  unsigned char address[16];
  return inet_pton(family, text.data(), address) == 1;
}

// "[fe80::1%25eth0]" names an interface after the percent sign (RFC 6874).
bool isIpv6Literal(std::string_view inside) {
  const size_t zone = inside.find("%25");
  return parsesAs(AF_INET6, inside.substr(0, zone));
}

bool nameAllowed(const AllowedHosts& allowed, std::string_view name) {
  if (parsesAs(AF_INET, name)) return true;
  const std::string lower = lowerName(name);
  return !lower.empty() && std::find(allowed.names.begin(), allowed.names.end(), lower) != allowed.names.end();
}

}  // namespace

AllowedHosts newAllowedHosts(std::string_view machineName, std::string_view extraNames) {
  AllowedHosts allowed;
  auto add = [&](std::string_view name) {
    std::string lower = lowerName(trimWhiteSpace(name));
    if (!lower.empty() && std::find(allowed.names.begin(), allowed.names.end(), lower) == allowed.names.end())
      allowed.names.push_back(std::move(lower));
  };
  add("localhost");
  if (!lowerName(machineName).empty()) {
    add(machineName);
    add(lowerName(machineName) + ".local");
  }
  while (!extraNames.empty()) {
    const size_t comma = std::min(extraNames.find(','), extraNames.size());
    add(extraNames.substr(0, comma));
    extraNames.remove_prefix(std::min(comma + 1, extraNames.size()));
  }
  return allowed;
}

bool hostAllowed(const AllowedHosts& allowed, std::string_view host) {
  host = trimWhiteSpace(host);
  if (host.starts_with('[')) {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || !isDecimal(rest.substr(1)))) return false;
    return isIpv6Literal(host.substr(1, close - 1));
  }
  const size_t colon = host.find(':');
  if (colon != std::string_view::npos && !isDecimal(host.substr(colon + 1))) return false;
  return nameAllowed(allowed, host.substr(0, colon));
}

bool requestNamesThisService(const AllowedHosts& allowed, const HttpRequest& request) {
  const HeaderValues* hosts = request.headers.get("host");
  const bool hostRequired = request.protocol.major > 1 || (request.protocol.major == 1 && request.protocol.minor >= 1);
  if (hosts == nullptr || hosts->empty()) {
    if (hostRequired) return false;
  } else if (hosts->size() != 1 || !hostAllowed(allowed, hosts->front())) {
    return false;
  }
  const Uri& target = request.url;
  if (target.hostname.empty()) return true;
  return target.isIpv6 ? isIpv6Literal(target.hostname) : nameAllowed(allowed, target.hostname);
}

}  // namespace nc
