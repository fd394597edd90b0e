#include "transport/reply_writing.h"

#include <array>
#include <charconv>
#include <span>

#include "transport/ascii_case.h"

namespace nc {
namespace {

// Room for the status line, the length line and a few header lines, so that
// a reply head is built in one allocation.
constexpr size_t headReserve = 256;

bool isSeparator(char c) { return c == '_' || c == '-'; }

// Lower-case letters and digits in words joined by single dashes, as nearly
// every stored name is: capitalising it changes letters only.
bool isDashedLowerCase(std::string_view name) {
  char previous = '-';
  for (char c : name) {
    const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && (c != '-' || previous == '-')) return false;
    previous = c;
  }
  return true;
}

// Appends the capitalised form of `name`, as httpHeaderCase returns it.
void appendHeaderCase(std::string& out, std::string_view name) {
  if (name.empty()) return;
  if (isDashedLowerCase(name)) {
    const size_t start = out.size();
    out += name;
    bool wordStart = true;
    for (size_t i = start; i < out.size(); ++i) {
      if (wordStart) out[i] = upperAscii(out[i]);
      wordStart = out[i] == '-';
    }
    return;
  }
  out.push_back(upperAscii(name[0]));
  bool afterSeparator = false;
  for (char c : name.substr(1)) {
    if (isSeparator(c)) {
      if (!afterSeparator) out.push_back('-');
      afterSeparator = true;
    } else if (isUpperAscii(c)) {
      if (!afterSeparator) out.push_back('-');
      out.push_back(c);
      afterSeparator = false;
    } else {
      out.push_back(afterSeparator ? upperAscii(c) : c);
      afterSeparator = false;
    }
  }
}

void appendHeaderLines(std::string& head, const HttpHeaders& headers, HeaderRules rules) {
  const bool capitalise = rules == HeaderRules::capitalised;
  for (const auto& [name, values] : headers) {
    if (capitalise && name == "content-length") continue;
    for (const auto& value : values) {
      if (capitalise) {
        appendHeaderCase(head, name);
      } else {
        head += name;
      }
      head += ": ";
      head += value;
      head += "\r\n";
    }
  }
}

void appendLengthLine(std::string& head, size_t contentLength) {
  std::array<char, 24> digits{};
  head += "Content-Length: ";
  head.append(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(), contentLength).ptr);
  head += "\r\n";
}

struct RefusalReply {
  int code;
  std::string_view message;  // the body; the status text when empty
  bool statusLineOnly = false;
};

RefusalReply refusalReply(Refusal refusal) {
  switch (refusal) {
    case Refusal::badRequestLine: return {400, {}};
    case Refusal::lineTooLong: return {413, {}};
    case Refusal::repeatedHost: return {400, {}};
    case Refusal::headersTooLarge: return {431, {}};
    case Refusal::headerMemoryExhausted: return {503, {}};
    // A status line alone, like the "100 Continue" it stands instead of: the
    // request is still read and answered after it.
    case Refusal::expectationFailed: return {417, {}, true};
    case Refusal::lengthRequired: return {411, "Content-Length required."};
    // The reply of a POST without a length: that is what the body lacks here.
    case Refusal::transferEncoding: return {411, "Content-Length required."};
    case Refusal::lengthAndEncoding: return {400, {}};
    case Refusal::unreadableLength: return {400, "Bad Request. Invalid Content-Length."};
    case Refusal::bodyTooLarge: return {413, {}};
    case Refusal::bodyShorterThanLength: return {400, "Bad Request. Content-Length does not match actual."};
  }
  return {500, {}};
}

std::string statusLine(int code, size_t linesSize) {
  std::string head;
  head.reserve(headReserve + linesSize);
  head += "HTTP/1.1 ";
  head += statusText(code);
  head += "\r\n";
  return head;
}

// The head replyHead writes under the capitalised rules.
std::string preparedHead(int code, const PreparedHeaders& headers, std::optional<size_t> contentLength) {
  std::string head = statusLine(code, headers.lines().size());
  head += headers.lines();
  if (contentLength) appendLengthLine(head, *contentLength);
  head += "\r\n";
  return head;
}

// A reply after which the connection closes says so, unless its own fields
// speak of the connection already.
std::string withConnectionLine(std::string head, const Connection& connection, bool hasConnectionField) {
  constexpr std::string_view closeLine = "Connection: close\r\n";
  if (connection.closesAfterReply() && !hasConnectionField) head.insert(head.size() - 2, closeLine);
  return head;
}

enum class BodySource { memory, executable };

// Every reply with a body leaves here. A reply to HEAD gets the head alone,
// its Content-Length still the body's: the client reads no body after it, and
// would take one for the start of the next reply.
asio::awaitable<void> writeWithBody(Connection& connection, std::string head, std::string_view body,
                                    BodySource source) {
  const bool headOnly = connection.answeringHead() || body.empty();
  if (!headOnly && source == BodySource::executable) {
    co_await connection.sendEmbedded(head, body);
  } else {
    // Head and body leave in one gathered write: small separate sends would
    // stall behind Nagle's algorithm and delayed acknowledgements.
    const std::array<asio::const_buffer, 2> pieces{asio::buffer(head), asio::buffer(body)};
    const std::span<const asio::const_buffer> reply(pieces.data(), headOnly ? 1 : 2);
    size_t written = 0;
    if (!connection.sendAtOnce(reply, written)) co_await connection.sendRest(reply, written);
  }
}

}  // namespace

std::string httpHeaderCase(std::string_view name) {
  std::string result;
  result.reserve(name.size() + 4);
  appendHeaderCase(result, name);
  return result;
}

std::string replyHead(int code, const HttpHeaders& headers, std::optional<size_t> contentLength, HeaderRules rules) {
  std::string head = statusLine(code, 0);
  appendHeaderLines(head, headers, rules);
  if (contentLength && (rules == HeaderRules::capitalised || !headers.contains("content-length")))
    appendLengthLine(head, *contentLength);
  head += "\r\n";
  return head;
}

PreparedHeaders::PreparedHeaders(const HttpHeaders& headers) {
  appendHeaderLines(lines_, headers, HeaderRules::capitalised);
}

// Not coroutines themselves: each hands over writeWithBody's, which spares a
// frame on every reply.
asio::awaitable<void> writeReply(Connection& connection, int code, std::string_view body, const HttpHeaders& headers,
                                 HeaderRules rules) {
  return writeWithBody(connection,
                       withConnectionLine(replyHead(code, headers, body.size(), rules), connection,
                                          headers.contains("connection")),
                       body, BodySource::memory);
}

asio::awaitable<void> writeReply(Connection& connection, int code, std::string_view body,
                                 const PreparedHeaders& headers) {
  return writeWithBody(connection, withConnectionLine(preparedHead(code, headers, body.size()), connection, false),
                       body, BodySource::memory);
}

asio::awaitable<void> writeEmbeddedReply(Connection& connection, int code, std::string_view body,
                                         const PreparedHeaders& headers) {
  return writeWithBody(connection, withConnectionLine(preparedHead(code, headers, body.size()), connection, false),
                       body, BodySource::executable);
}

asio::awaitable<void> writeHeadOnly(Connection& connection, int code, const PreparedHeaders& headers,
                                    std::optional<size_t> contentLength) {
  co_await connection.send(withConnectionLine(preparedHead(code, headers, contentLength), connection, false));
}

asio::awaitable<void> respond(HttpRequest& request, int code, std::string_view content, const HttpHeaders& headers) {
  co_await writeReply(*request.client, code, content, headers, HeaderRules::asStored);
}

asio::awaitable<void> writeRefusal(Connection& connection, Refusal refusal) {
  const RefusalReply reply = refusalReply(refusal);
  const std::string status = statusText(reply.code);
  if (reply.statusLineOnly) {
    co_await sendStatus(connection, status);
  } else {
    const std::string_view body = reply.message.empty() ? std::string_view(status) : reply.message;
    co_await writeReply(connection, reply.code, body, {}, HeaderRules::asStored);
  }
}

asio::awaitable<void> sendStatus(Connection& connection, std::string_view statusText) {
  std::string line = "HTTP/1.1 ";
  line.append(statusText).append("\r\n\r\n");
  co_await connection.send(line);
}

}  // namespace nc
