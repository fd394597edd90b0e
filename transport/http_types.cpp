#include "transport/http_types.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <tuple>
#include <utility>

#include "transport/ascii_case.h"

namespace nc {
namespace {

constexpr std::array<std::string_view, 9> methodNames{"HEAD",  "GET",     "POST",    "PUT",  "DELETE",
                                                       "TRACE", "OPTIONS", "CONNECT", "PATCH"};

std::string lowerCopy(std::string_view text) {
  std::string lowered(text);
  lowerInPlace(lowered);
  return lowered;
}

std::string_view reasonPhrase(int code) {
  switch (code) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Request Entity Too Large";
    case 414: return "Request-URI Too Long";
    case 415: return "Unsupported Media Type";
    case 416: return "Requested Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 418: return "I'm a teapot";
    case 421: return "Misdirected Request";
    case 422: return "Unprocessable Entity";
    case 426: return "Upgrade Required";
    case 428: return "Precondition Required";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 451: return "Unavailable For Legal Reasons";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return {};
  }
}

}  // namespace

std::optional<HttpMethod> parseHttpMethod(std::string_view word) {
  auto found = std::find(methodNames.begin(), methodNames.end(), word);
  if (found == methodNames.end()) return std::nullopt;
  return static_cast<HttpMethod>(found - methodNames.begin());
}

std::string statusText(int code) {
  std::array<char, 16> digits{};
  auto end = std::to_chars(digits.data(), digits.data() + digits.size(), code).ptr;
  std::string text(digits.data(), end);
  std::string_view phrase = reasonPhrase(code);
  if (!phrase.empty()) text.append(" ").append(phrase);
  return text;
}

HttpHeaders::HttpHeaders(std::initializer_list<std::pair<std::string, std::string>> fields) {
  for (const auto& [name, value] : fields) set(name, value);
}

void HttpHeaders::clear() {
  entries_.clear();
  index_.clear();
}

size_t HttpHeaders::find(std::string_view name) const {
  if (index_.empty()) {
    // The stored names are lower-case already.
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (equalsIgnoreCase(entries_[i].first, name)) return i;
    }
    return entries_.size();
  }
  bool isLower = std::none_of(name.begin(), name.end(), isUpperAscii);
  auto found = isLower ? index_.find(name) : index_.find(lowerCopy(name));
  return found == index_.end() ? entries_.size() : found->second;
}

void HttpHeaders::rebuildIndex() {
  index_.clear();
  if (entries_.size() <= scannedEntries) return;
  index_.reserve(entries_.size());
  for (size_t j = 0; j < entries_.size(); ++j) index_.emplace(entries_[j].first, j);
}

HeaderValues& HttpHeaders::slotFor(std::string_view name) {
  size_t i = find(name);
  if (i < entries_.size()) {
    entries_[i].second.clear();
    return entries_[i].second;
  }
  std::string lowered(name);
  lowerInPlace(lowered);
  entries_.emplace_back(std::piecewise_construct, std::forward_as_tuple(std::move(lowered)), std::forward_as_tuple());
  if (!index_.empty()) {
    index_.emplace(entries_.back().first, entries_.size() - 1);
  } else if (entries_.size() > scannedEntries) {
    rebuildIndex();
  }
  return entries_.back().second;
}

void HttpHeaders::set(std::string_view name, HeaderValues values) {
  if (!values.empty()) {
    slotFor(name) = std::move(values);
    return;
  }
  size_t i = find(name);
  if (i == entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  rebuildIndex();
}

void HttpHeaders::set(std::string_view name, std::string_view value) { set(name, HeaderValues{value}); }

bool HttpHeaders::contains(std::string_view name) const { return find(name) < entries_.size(); }

const HeaderValues* HttpHeaders::get(std::string_view name) const {
  size_t i = find(name);
  return i < entries_.size() ? &entries_[i].second : nullptr;
}

std::string_view HttpHeaders::first(std::string_view name, std::string_view fallback) const {
  const auto* values = get(name);
  return values && !values->empty() ? values->front() : fallback;
}

bool HttpHeaders::hasValue(std::string_view name, std::string_view probe) const {
  const auto* values = get(name);
  if (!values) return false;
  return std::any_of(values->begin(), values->end(),
                     [probe](std::string_view value) { return equalsIgnoreCase(value, probe); });
}

}  // namespace nc
