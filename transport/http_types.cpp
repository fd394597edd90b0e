#include "transport/http_types.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "transport/ascii_case.h"

namespace nc {
namespace {

// Linear search beats hashing for the dozen or so fields of an ordinary request.
constexpr size_t indexThreshold = 32;

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

HttpHeaders::HttpHeaders(const HttpHeaders& other) : entries_(other.begin(), other.end()), count_(other.count_) {}

HttpHeaders& HttpHeaders::operator=(const HttpHeaders& other) {
  if (this != &other) {
    entries_.assign(other.begin(), other.end());
    count_ = other.count_;
    index_.clear();
  }
  return *this;
}

// A moved-from set must count no fields, or end() would point past its storage.
HttpHeaders::HttpHeaders(HttpHeaders&& other) noexcept
    : entries_(std::move(other.entries_)), count_(std::exchange(other.count_, 0)) {
  other.dropIndex();
}

HttpHeaders& HttpHeaders::operator=(HttpHeaders&& other) noexcept {
  if (this != &other) {
    entries_ = std::move(other.entries_);
    count_ = std::exchange(other.count_, 0);
    dropIndex();
    other.dropIndex();
  }
  return *this;
}

void HttpHeaders::clear() {
  count_ = 0;
  dropIndex();
}

// Most header sets never build an index, and clearing an empty one still
// wipes its bucket array: this runs several times per request.
void HttpHeaders::dropIndex() {
  if (!index_.empty()) index_.clear();
}

size_t HttpHeaders::find(std::string_view name) const {
  if (count_ > indexThreshold) return findIndexed(name);
  for (size_t i = 0; i < count_; ++i) {
    if (equalsIgnoreCase(entries_[i].first, name)) return i;
  }
  return count_;
}

size_t HttpHeaders::findIndexed(std::string_view name) const {
  if (index_.size() != count_) {
    index_.clear();
    for (size_t i = 0; i < count_; ++i) index_.emplace(entries_[i].first, i);
  }
  bool isLower = std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  auto found = isLower ? index_.find(name) : index_.find(lowerCopy(name));
  return found == index_.end() ? count_ : found->second;
}

std::vector<std::string>& HttpHeaders::slotFor(std::string_view name) {
  size_t i = find(name);
  if (i < count_) return entries_[i].second;
  if (count_ == entries_.size()) entries_.emplace_back();
  Entry& entry = entries_[count_++];
  entry.first.assign(name);
  lowerInPlace(entry.first);
  // Keep a built index complete; an unbuilt one is built on the next lookup.
  if (count_ > indexThreshold && index_.size() == count_ - 1) index_.emplace(entry.first, count_ - 1);
  return entry.second;
}

void HttpHeaders::set(std::string_view name, std::vector<std::string> values) {
  if (!values.empty()) {
    slotFor(name) = std::move(values);
    return;
  }
  size_t i = find(name);
  if (i == count_) return;
  // Rotating the dead entry past the live ones keeps the order of the others.
  std::rotate(entries_.begin() + static_cast<std::ptrdiff_t>(i), entries_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
              entries_.begin() + static_cast<std::ptrdiff_t>(count_));
  --count_;
  index_.clear();
}

void HttpHeaders::set(std::string_view name, std::string value) {
  std::vector<std::string> values;
  values.push_back(std::move(value));
  set(name, std::move(values));
}

bool HttpHeaders::contains(std::string_view name) const { return find(name) < count_; }

const std::vector<std::string>* HttpHeaders::get(std::string_view name) const {
  size_t i = find(name);
  return i < count_ ? &entries_[i].second : nullptr;
}

std::string_view HttpHeaders::first(std::string_view name, std::string_view fallback) const {
  const auto* values = get(name);
  return values && !values->empty() ? std::string_view(values->front()) : fallback;
}

bool HttpHeaders::hasValue(std::string_view name, std::string_view probe) const {
  const auto* values = get(name);
  if (!values) return false;
  return std::any_of(values->begin(), values->end(),
                     [probe](const std::string& value) { return equalsIgnoreCase(value, probe); });
}

}  // namespace nc
