// The transport's request record and its parts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/connection.h"
#include "transport/header_values.h"
#include "transport/uri.h"

namespace nc {

enum class HttpMethod { HttpHead, HttpGet, HttpPost, HttpPut, HttpDelete, HttpTrace, HttpOptions, HttpConnect, HttpPatch };

// "GET" -> HttpGet, case-sensitive; nullopt for anything else.
std::optional<HttpMethod> parseHttpMethod(std::string_view word);

// Header fields. Names are stored lower-cased (ASCII) and kept in the order in
// which they were first set; each name maps to a list of values.
class HttpHeaders {
 public:
  using Entry = std::pair<std::string, HeaderValues>;

  HttpHeaders() = default;
  HttpHeaders(std::initializer_list<std::pair<std::string, std::string>> fields);

  // An empty list deletes the name.
  void set(std::string_view name, HeaderValues values);
  void set(std::string_view name, std::string_view value);
  bool contains(std::string_view name) const;
  // nullptr when absent.
  const HeaderValues* get(std::string_view name) const;
  // First value, or `fallback` when the name is absent or has no value.
  std::string_view first(std::string_view name, std::string_view fallback = {}) const;
  // Whether one of the values equals `probe`, ASCII case-insensitively and whole.
  bool hasValue(std::string_view name, std::string_view probe) const;
  size_t size() const { return entries_.size(); }
  void clear();

  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }

  // The value list of `name`, created (lower-cased) and empty if absent.
  HeaderValues& slotFor(std::string_view name);

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };

  // Up to this many names are found by looking through entries_, which for
  // the dozen or so a browser sends costs less than hashing the name and
  // allocating an index node for each (bench/profile.sh).
  static constexpr size_t scannedEntries = 32;

  std::vector<Entry> entries_;
  // The position of each name in entries_, kept once there are more than
  // scannedEntries of them, and empty until then. A hostile request may carry
  // thousands of names; searching them line by line would cost quadratic time.
  std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> index_;

  size_t find(std::string_view name) const;
  void rebuildIndex();
};

// The third word of the request line as sent, with its version numbers.
struct HttpProtocol {
  std::string text;
  int64_t major = 0;
  int64_t minor = 0;
};

struct HttpRequest {
  std::shared_ptr<Connection> client;
  HttpMethod reqMethod = HttpMethod::HttpGet;
  HttpHeaders headers;
  HttpProtocol protocol;
  Uri url;
  std::string peerAddress;  // the peer's IP address as text
  std::string body;
};

// "404 Not Found", or the bare number for a code without a reason phrase.
std::string statusText(int code);

}  // namespace nc
