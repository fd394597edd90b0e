#include "src/system/host_facts.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "utils/key_value_lines.h"

namespace nc {
namespace {

// The kernel's files read here are a few hundred bytes; this only guards
// against reading something unexpected without end.
constexpr std::streamsize maxFactFileBytes = 64 * 1024;

std::optional<std::string> readFactFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(static_cast<size_t>(maxFactFileBytes), '\0');
  in.read(text.data(), maxFactFileBytes);
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

// The value of an os-release line: "double quoted" with backslash escapes,
// 'single quoted', or bare.
std::string unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
    return std::string(value.substr(1, value.size() - 2));
  if (value.empty() || value.front() != '"') return std::string(value);
  std::string text;
  for (size_t at = 1; at < value.size() && value[at] != '"'; ++at) {
    if (value[at] == '\\' && at + 1 < value.size()) ++at;
    text += value[at];
  }
  return text;
}

// "MemTotal:  3884376 kB": the line that starts with `label`, in bytes.
std::optional<uint64_t> kibibytesAfter(std::string_view meminfo, std::string_view label) {
  while (!meminfo.empty()) {
    std::string_view line = meminfo.substr(0, meminfo.find('\n'));
    meminfo.remove_prefix(std::min(line.size() + 1, meminfo.size()));
    if (!line.starts_with(label)) continue;
    line.remove_prefix(label.size());
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    uint64_t kibibytes = 0;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), kibibytes);
    if (error != std::errc() || kibibytes > UINT64_MAX / 1024) return std::nullopt;
    return kibibytes * 1024;
  }
  return std::nullopt;
}

std::optional<double> leadingNumber(std::istringstream& in) {
  double value = 0;
  if (!(in >> value)) return std::nullopt;
  return value;
}

std::string hostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

JsonValue diskJson(const std::string& dataPath) {
  std::filesystem::path folder = std::filesystem::path(dataPath).parent_path();
  if (folder.empty()) folder = ".";
  struct statvfs figures {};
  if (::statvfs(folder.c_str(), &figures) != 0) return JsonValue();
  // 32-bit boards count blocks in 32 bits: the product must not be.
  const auto bytes = [&](uint64_t blocks) { return static_cast<int64_t>(blocks * uint64_t{figures.f_frsize}); };
  return JsonValue(JsonObject{
      {"path", folder.string()}, {"sizeBytes", bytes(figures.f_blocks)}, {"freeBytes", bytes(figures.f_bavail)}});
}

int prefixLengthOf(const sockaddr* netmask) {
  if (netmask == nullptr) return 0;
  int bits = 0;
  if (netmask->sa_family == AF_INET) {
    bits = std::popcount(reinterpret_cast<const sockaddr_in*>(netmask)->sin_addr.s_addr);
  } else if (netmask->sa_family == AF_INET6) {
    for (uint8_t byte : reinterpret_cast<const sockaddr_in6*>(netmask)->sin6_addr.s6_addr) bits += std::popcount(byte);
  }
  return bits;
}

std::optional<JsonValue> addressJson(const ifaddrs& entry) {
  const int family = entry.ifa_addr->sa_family;
  char text[INET6_ADDRSTRLEN] = {};
  const void* address =
      family == AF_INET ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(entry.ifa_addr)->sin_addr)
                        : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(entry.ifa_addr)->sin6_addr);
  if (::inet_ntop(family, address, text, sizeof text) == nullptr) return std::nullopt;
  return JsonValue(JsonObject{{"family", family == AF_INET ? "ipv4" : "ipv6"},
                              {"address", std::string(text)},
                              {"prefixLength", prefixLengthOf(entry.ifa_netmask)}});
}

std::string macOf(const sockaddr* link) {
  const auto* hardware = reinterpret_cast<const sockaddr_ll*>(link);
  std::string mac;
  for (int i = 0; i < hardware->sll_halen && i < 8; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : ":%02x", hardware->sll_addr[i]);
    mac += pair;
  }
  return mac;
}

JsonObject& interfaceNamed(JsonArray& interfaces, const std::string& name) {
  for (JsonValue& known : interfaces)
    if (known.asObject().at("name").asString() == name) return known.asObject();
  interfaces.emplace_back(JsonObject{{"name", name}, {"up", false}, {"mac", nullptr}, {"addresses", JsonArray{}}});
  return interfaces.back().asObject();
}

// Each interface once, in the system's order, with its addresses. getifaddrs
// asks the kernel over a netlink socket.
JsonValue interfacesJson() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return JsonValue();
  JsonArray interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    JsonObject& interface = interfaceNamed(interfaces, entry->ifa_name);
    if (entry->ifa_flags & IFF_UP) interface.set("up", true);
    if (entry->ifa_addr == nullptr) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family == AF_PACKET && !(entry->ifa_flags & IFF_LOOPBACK)) interface.set("mac", macOf(entry->ifa_addr));
    if (family != AF_INET && family != AF_INET6) continue;
    if (auto address = addressJson(*entry)) interface.find("addresses")->asArray().push_back(std::move(*address));
  }
  ::freeifaddrs(list);
  return JsonValue(std::move(interfaces));
}

template <class Value>
JsonValue orNull(const std::optional<Value>& value) {
  return value ? JsonValue(*value) : JsonValue();
}

JsonValue loadJson() {
  const auto load = loadAveragesOf(readFactFile("/proc/loadavg").value_or(""));
  if (!load) return JsonValue();
  return JsonValue(JsonArray{(*load)[0], (*load)[1], (*load)[2]});
}

JsonValue memoryJson() {
  const MemoryFigures memory = memoryFiguresOf(readFactFile("/proc/meminfo").value_or(""));
  auto bytes = [](const std::optional<uint64_t>& value) {
    return value ? JsonValue(static_cast<int64_t>(*value)) : JsonValue();
  };
  return JsonValue(
      JsonObject{{"totalBytes", bytes(memory.totalBytes)}, {"availableBytes", bytes(memory.availableBytes)}});
}

}  // namespace

std::optional<std::string> osPrettyName(std::string_view osRelease) {
  const KeyValues values = keyValueLines(osRelease);
  if (values.find("PRETTY_NAME") == values.end()) return std::nullopt;
  return unquoted(valueOf(values, "PRETTY_NAME"));
}

MemoryFigures memoryFiguresOf(std::string_view meminfo) {
  return {kibibytesAfter(meminfo, "MemTotal:"), kibibytesAfter(meminfo, "MemAvailable:")};
}

std::optional<int64_t> uptimeSecondsOf(std::string_view procUptime) {
  std::istringstream in{std::string(procUptime)};
  const auto seconds = leadingNumber(in);
  if (!seconds || *seconds < 0 || *seconds > 1e15) return std::nullopt;
  return static_cast<int64_t>(*seconds);
}

std::optional<std::array<double, 3>> loadAveragesOf(std::string_view procLoadavg) {
  std::istringstream in{std::string(procLoadavg)};
  std::array<double, 3> load{};
  for (double& average : load) {
    const auto value = leadingNumber(in);
    if (!value) return std::nullopt;
    average = *value;
  }
  return load;
}

JsonObject hostFactsJson(const std::string& dataPath) {
  // os-release(5): /etc/os-release, else the vendor's copy.
  auto osRelease = readFactFile("/etc/os-release");
  if (!osRelease) osRelease = readFactFile("/usr/lib/os-release");
  const std::string name = hostName();
  return JsonObject{{"hostName", name.empty() ? JsonValue() : JsonValue(name)},
                    {"osRelease", orNull(osPrettyName(osRelease.value_or("")))},
                    {"uptimeSeconds", orNull(uptimeSecondsOf(readFactFile("/proc/uptime").value_or("")))},
                    {"load", loadJson()},
                    {"memory", memoryJson()},
                    {"disk", diskJson(dataPath)},
                    {"interfaces", interfacesJson()}};
}

}  // namespace nc
