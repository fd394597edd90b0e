#include "transport/request_parsing.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "transport/ascii_case.h"

namespace nc {
namespace {

// CR and LF are not skipped: they end a value list.
bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

bool endsValue(char c) { return c == ',' || isLineBreak(c); }

size_t skipWhiteSpace(std::string_view text, size_t at) {
  while (at < text.size() && isWhiteSpace(text[at])) ++at;
  return at;
}

// The first position from `at` whose character is a stop, or the size.
// string_view::find_first_of would call memchr on its set once per byte.
size_t findStop(std::string_view text, size_t at, bool (*isStop)(char)) {
  while (at < text.size() && !isStop(text[at])) ++at;
  return at;
}

// The position of the first CR or LF, or the size. LF is found first with
// memchr, which scans many bytes at a time; then the text before it is
// searched for a CR, normally found right before the LF.
size_t findLineBreak(std::string_view text) {
  const void* lf = std::memchr(text.data(), '\n', text.size());
  size_t end = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text.data()) : text.size();
  const void* cr = std::memchr(text.data(), '\r', end);
  return cr ? static_cast<size_t>(static_cast<const char*>(cr) - text.data()) : end;
}

// Hands out the words of a request line split at every single space, so that
// consecutive spaces give empty words, as a strict reading of the line demands.
class WordCursor {
 public:
  explicit WordCursor(std::string_view line) : rest_(line) {}
  bool atEnd() const { return atEnd_; }
  std::string_view next() {
    size_t space = rest_.find(' ');
    std::string_view word = rest_.substr(0, space);
    atEnd_ = space == std::string_view::npos;
    rest_ = atEnd_ ? std::string_view() : rest_.substr(space + 1);
    return word;
  }

 private:
  std::string_view rest_;
  bool atEnd_ = false;
};

size_t countCommas(std::string_view text) { return static_cast<size_t>(std::count(text.begin(), text.end(), ',')); }

// Comma-separated values, each with its leading white space skipped and
// trailing white space kept; CR or LF ends the list. Every comma starts one
// more value, so "a," and ",a" hold an empty value too. The list is sized
// once: growing it by doubling could leave half of it unused, memory that
// headerLineCost would not see.
void storeValueList(std::string_view text, HeaderValues& values) {
  text = text.substr(0, findLineBreak(text));
  values.reserve(countCommas(text) + 1, text.size());
  size_t at = 0;
  for (;;) {
    at = skipWhiteSpace(text, at);
    size_t end = findStop(text, at, endsValue);
    values.push_back(text.substr(at, end - at));
    if (end == text.size()) return;
    at = end + 1;
  }
}

}  // namespace

InvalidProtocolError::InvalidProtocolError(std::string_view text)
    : std::runtime_error("Invalid request protocol. Got: " + std::string(text)) {}

void LineScanner::start() {
  line_.clear();
  afterCr_ = false;
}

LineStatus LineScanner::complete() {
  if (line_.empty()) line_ = "\r\n";
  return LineStatus::complete;
}

LineStatus LineScanner::feed(std::string_view& input) {
  if (input.empty()) return LineStatus::incomplete;
  if (afterCr_) {
    // Whatever follows a CR ends the line; a byte other than LF is lost with it.
    afterCr_ = false;
    input.remove_prefix(1);
    return complete();
  }
  size_t room = maxLineLength + 1 - line_.size();
  std::string_view window = input.substr(0, room);
  size_t end = findLineBreak(window);
  // Grown by doubling, a line near the limit would take twice the limit, for
  // every connection that sends one.
  if (line_.size() + end > line_.capacity()) {
    line_.reserve(std::min(std::max(2 * line_.capacity(), line_.size() + end), maxLineLength + 1));
  }
  line_.append(window.substr(0, end));
  if (end == window.size()) {
    input.remove_prefix(window.size());
    return line_.size() > maxLineLength ? LineStatus::tooLong : LineStatus::incomplete;
  }
  char terminator = input[end];
  input.remove_prefix(end + 1);
  if (terminator == '\r') {
    afterCr_ = true;
    return feed(input);
  }
  return complete();
}

size_t parseNatural(std::string_view text, int64_t& value) {
  constexpr int64_t largest = std::numeric_limits<int64_t>::max();
  size_t at = !text.empty() && text[0] == '+' ? 1 : 0;
  if (at >= text.size() || text[at] < '0' || text[at] > '9') return 0;
  int64_t number = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    int digit = text[at] - '0';
    number = number <= (largest - digit) / 10 ? number * 10 + digit : largest;
    ++at;
    while (at < text.size() && text[at] == '_') ++at;
  }
  value = number;
  return at;
}

HttpProtocol parseProtocol(std::string_view text) {
  constexpr std::string_view prefix = "HTTP/";
  if (text.size() < prefix.size() || !equalsIgnoreCase(text.substr(0, prefix.size()), prefix)) {
    throw InvalidProtocolError(text);
  }
  HttpProtocol protocol{std::string(text), 0, 0};
  size_t at = prefix.size();
  at += parseNatural(text.substr(at), protocol.major);
  // The separator, normally ".", is skipped whatever it is.
  at = std::min(at + 1, text.size());
  parseNatural(text.substr(at), protocol.minor);
  return protocol;
}

bool applyRequestLine(std::string_view line, HttpRequest& request) {
  WordCursor words(line);
  auto method = parseHttpMethod(words.next());
  if (!method) return false;
  request.reqMethod = *method;
  // A field the line leaves out must not keep the previous request's value.
  // Each field is assigned once: a Uri is eight strings.
  request.url = words.atEnd() ? Uri{} : parseUri(words.next());
  if (words.atEnd()) {
    request.protocol = HttpProtocol{};
    return true;
  }
  try {
    request.protocol = parseProtocol(words.next());
  } catch (const InvalidProtocolError&) {
    return false;
  }
  return words.atEnd();
}

std::string_view headerName(std::string_view line) { return line.substr(0, line.find(':')); }

void parseHeader(std::string_view line, HttpHeaders& headers) {
  size_t colon = line.find(':');
  std::string_view name = line.substr(0, colon);
  if (colon == 0 && line.size() == 1) return;
  HeaderValues& values = headers.slotFor(name);
  if (colon == std::string_view::npos || colon + 1 == line.size()) {
    values.push_back({});
  } else if (equalsIgnoreCase(name, "cookie")) {
    // Cookie values contain commas of their own.
    std::string_view text = line.substr(colon + 1);
    values.push_back(text.substr(skipWhiteSpace(text, 0)));
  } else {
    storeValueList(line.substr(colon + 1), values);
  }
}

// The entry twice over (the list grows by doubling), an index node with its
// bucket, and the values' two blocks' allocator headers.
static_assert(2 * sizeof(HttpHeaders::Entry) + 96 + 2 * 16 <= headerNameOverhead);

HeaderLineCharge headerLineCharge(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == 0 && line.size() == 1) return {line.size(), 0};
  std::string_view name = line.substr(0, colon);
  size_t values = 1;
  if (colon != std::string_view::npos && !equalsIgnoreCase(name, "cookie")) {
    values += countCommas(line.substr(colon + 1, findLineBreak(line.substr(colon + 1))));
  }
  return {headerNameOverhead + 2 * name.size() + values * headerValueOverhead + line.size(), values};
}

bool keepsAlive(const HttpProtocol& protocol, const HttpHeaders& headers) {
  std::string_view connection = headers.first("connection");
  if (protocol.major != 1) return false;
  if (protocol.minor == 1) return !equalsIgnoreCase(connection, "close");
  return protocol.minor == 0 && equalsIgnoreCase(connection, "keep-alive");
}

}  // namespace nc
