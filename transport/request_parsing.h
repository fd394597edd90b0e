// Pure pieces of reading a request: lines out of a byte stream, the request
// line, the protocol, header lines and decimal numbers. No sockets here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "transport/http_types.h"

namespace nc {

// Longest request line or header line, in characters; the common server default.
inline constexpr size_t maxLineLength = 8192;

// Raised by parseProtocol; the message is "Invalid request protocol. Got: " and the text.
class InvalidProtocolError : public std::runtime_error {
 public:
  explicit InvalidProtocolError(std::string_view text);
};

enum class LineStatus { incomplete, complete, tooLong };

// Cuts lines out of a byte stream that arrives in pieces. A line ends at LF or
// CRLF; a CR followed by any other byte ends it too and that byte is dropped.
// A line made only of a terminator reads as "\r\n", so that an empty result
// can mean end of stream.
class LineScanner {
 public:
  // Forgets the previous line but keeps its storage.
  void start();
  // Consumes bytes from the front of `input` up to the end of the line, or all
  // of them if the line goes on. tooLong once the line holds more than
  // maxLineLength characters; the rest of that line is left unread.
  LineStatus feed(std::string_view& input);
  const std::string& line() const { return line_; }

 private:
  std::string line_;
  bool afterCr_ = false;

  LineStatus complete();
};

// Reads a natural number from the start of `text`: an optional "+", then
// digits, underscores after a digit skipped, saturating at the largest int64.
// Returns the characters used, 0 when there is no digit (value untouched).
size_t parseNatural(std::string_view text, int64_t& value);

// "HTTP/1.1" -> {text, 1, 1}; missing version digits read as 0.
HttpProtocol parseProtocol(std::string_view text);

// Fills method, url and protocol from a request line split at single spaces.
// False when the method is unknown, the protocol invalid or there are more
// than three words (the fields are then unspecified). Fewer words leave the
// rest at their empty values.
bool applyRequestLine(std::string_view line, HttpRequest& request);

// The name of a header line as sent: what comes before its first colon, or
// the whole line without one.
std::string_view headerName(std::string_view line);

// Stores one header line, replacing earlier values of the same name. Values
// are split at commas (except for "cookie") with leading white space skipped.
void parseHeader(std::string_view line, HttpHeaders& headers);

// What storing a header value costs beyond its characters: where it ends.
inline constexpr size_t headerValueOverhead = sizeof(uint32_t);
// What storing a header name costs beyond its characters (kept twice, in the
// entry and in the index): the entry, with room for as many again in the
// entries' list, the index node and its bucket, and the allocator's headers
// of the values' two blocks.
inline constexpr size_t headerNameOverhead = 320;

// What parseHeader takes to store `line`: the memory, or more, never less,
// and the number of values. Each value is charged its overhead, so that a line
// of commas costs what its thousands of empty values really hold, not its few
// wire bytes.
struct HeaderLineCharge {
  size_t bytes = 0;
  size_t values = 0;
};
HeaderLineCharge headerLineCharge(std::string_view line);
inline size_t headerLineCost(std::string_view line) { return headerLineCharge(line).bytes; }

// Whether the connection may carry another request after this one.
bool keepsAlive(const HttpProtocol& protocol, const HttpHeaders& headers);

}  // namespace nc
