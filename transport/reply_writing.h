// The one writer of HTTP/1.1 replies, for the transport's own refusals and for
// the framework's replies alike.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "transport/connection.h"
#include "transport/http_types.h"

namespace nc {

// The two rules a reply head follows for its header lines.
enum class HeaderRules {
  // The transport's own replies: names as stored; a Content-Length among the
  // headers stands instead of the writer's, so a HEAD reply can announce a
  // body it does not send.
  asStored,
  // The framework's replies: names capitalised by httpHeaderCase, and always
  // the body's true length; any other Content-Length is dropped, since two
  // different lengths would leave the client to guess where the reply ends.
  capitalised,
};

// Status line, header lines (one per value), the Content-Length line as the
// rules say, and the blank line. Without a length there is no length line.
std::string replyHead(int code, const HttpHeaders& headers, std::optional<size_t> contentLength,
                      HeaderRules rules = HeaderRules::asStored);

// Header lines rendered once by the capitalised rules, for replies that send
// the same fields again and again (a file's): the head then costs a copy of
// them instead of capitalising every name per reply.
class PreparedHeaders {
 public:
  PreparedHeaders() = default;
  explicit PreparedHeaders(const HttpHeaders& headers);
  std::string_view lines() const { return lines_; }

 private:
  std::string lines_;
};

// Writes head and body in one gathered write; to a HEAD request, the head
// alone, announcing the body's length.
asio::awaitable<void> writeReply(Connection& connection, int code, std::string_view body, const HttpHeaders& headers,
                                 HeaderRules rules);
asio::awaitable<void> writeReply(Connection& connection, int code, std::string_view body,
                                 const PreparedHeaders& headers);

// The same for a body of the executable's read-only data, such as the
// embedded web UI's files: it leaves through Connection::sendEmbedded.
asio::awaitable<void> writeEmbeddedReply(Connection& connection, int code, std::string_view body,
                                         const PreparedHeaders& headers);

// Writes a head whose body does not follow: a HEAD reply announcing the
// length its GET would send, or a 304 announcing none (nullopt), since a
// client reads no body after either.
asio::awaitable<void> writeHeadOnly(Connection& connection, int code, const PreparedHeaders& headers,
                                    std::optional<size_t> contentLength);

// Writes one complete reply to the request's connection by the transport's rules.
asio::awaitable<void> respond(HttpRequest& request, int code, std::string_view content,
                              const HttpHeaders& headers = {});

// "content-type" -> "Content-Type", "contentType" -> "Content-Type", "x--y" -> "X-Y".
std::string httpHeaderCase(std::string_view name);

// The requests the transport refuses itself.
enum class Refusal {
  badRequestLine,         // unknown method, invalid protocol, more than three words
  lineTooLong,            // request line or header line over maxLineLength
  repeatedHost,           // a second Host line
  headersTooLarge,        // header lines charged over maxHeaderMemory, or over maxHeaderValues values
  headerMemoryExhausted,  // all connections' headers at maxTotalHeaderMemory
  expectationFailed,      // a POST whose Expect is not "100-continue"
  lengthRequired,         // a POST without Content-Length
  transferEncoding,       // a Transfer-Encoding, whose body is never read
  lengthAndEncoding,      // a Transfer-Encoding with a Content-Length
  unreadableLength,       // a Content-Length that does not start with a number
  bodyTooLarge,           // a Content-Length over the body limit
  bodyShorterThanLength,  // the peer closed before the announced body was in
};

// Writes the refusal as writeReply would, its body the status text or its message.
asio::awaitable<void> writeRefusal(Connection& connection, Refusal refusal);

// "HTTP/1.1 <statusText>" and a blank line: no headers, no body.
asio::awaitable<void> sendStatus(Connection& connection, std::string_view statusText);

}  // namespace nc
