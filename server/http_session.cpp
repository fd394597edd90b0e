#include "server/http_session.h"

#include <array>
#include <charconv>
#include <span>

#include <asio/recycling_allocator.hpp>

namespace nc {
namespace {

// Room for the status line, the length line and a few header lines, so that
// a reply head is built in one allocation.
constexpr size_t headReserve = 256;

bool isSeparator(char c) { return c == '_' || c == '-'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
char toUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Lower-case words joined by single "-", the form of every name the stores of
// this system hold: casing them changes letters only, never the length.
bool isPlainLowerName(std::string_view name) {
  char previous = '-';
  for (char c : name) {
    if (c == '_' || isUpper(c) || (c == '-' && previous == '-')) return false;
    previous = c;
  }
  return true;
}

// Appends the capitalised form of `name`, as httpHeaderCase returns it.
void appendHeaderCase(std::string& out, std::string_view name) {
  if (name.empty()) return;
  if (isPlainLowerName(name)) {
    // Appended whole and fixed in place: a push_back per character cost more
    // than the rest of a reply head.
    const size_t start = out.size();
    out.append(name);
    for (size_t i = start; i < out.size(); ++i) {
      if (i == start || out[i - 1] == '-') out[i] = toUpper(out[i]);
    }
    return;
  }
  out.push_back(toUpper(name[0]));
  bool afterSeparator = false;
  for (char c : name.substr(1)) {
    if (isSeparator(c)) {
      if (!afterSeparator) out.push_back('-');
      afterSeparator = true;
    } else if (isUpper(c)) {
      if (!afterSeparator) out.push_back('-');
      out.push_back(c);
      afterSeparator = false;
    } else {
      out.push_back(afterSeparator ? toUpper(c) : c);
      afterSeparator = false;
    }
  }
}

// Header names are written capitalised, unlike the transport's own replies.
std::string sessionReplyHead(int code, size_t bodyLength, const HttpHeaders& headers) {
  std::string head;
  head.reserve(headReserve);
  head += "HTTP/1.1 ";
  head += statusText(code);
  head += "\r\n";
  for (const auto& [name, values] : headers) {
    // The length line below is the true one; a second, possibly different
    // Content-Length would leave the client to guess where the reply ends.
    if (name == "content-length") continue;
    for (const auto& value : values) {
      appendHeaderCase(head, name);
      head += ": ";
      head += value;
      head += "\r\n";
    }
  }
  std::array<char, 24> digits{};
  head += "Content-Length: ";
  head.append(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(), bodyLength).ptr);
  head += "\r\n\r\n";
  return head;
}

}  // namespace

std::shared_ptr<Session> newSession(std::shared_ptr<Context> context, std::string path, HttpRequest&& request) {
  // From the event loop thread's recycled memory: one session per request
  // would otherwise be a malloc and a free each.
  return std::allocate_shared<Session>(asio::recycling_allocator<Session>(), std::move(path), std::move(request),
                                       std::move(context));
}

std::string httpHeaderCase(std::string_view name) {
  std::string result;
  result.reserve(name.size() + 4);
  appendHeaderCase(result, name);
  return result;
}

asio::awaitable<void> respond(const Session& session, int code, std::string_view body, const HttpHeaders& headers) {
  // Head and body leave in one gathered write: small separate sends would stall
  // behind Nagle's algorithm and delayed acknowledgements.
  std::string head = sessionReplyHead(code, body.size(), headers);
  const std::array<asio::const_buffer, 2> pieces{asio::buffer(head), asio::buffer(body)};
  // An empty body adds nothing to the write.
  co_await session.request.client->send(std::span(pieces.data(), body.empty() ? 1 : 2));
}

asio::awaitable<void> respondJson(const Session& session, int code, const JsonValue& value, HttpHeaders headers) {
  // Most JSON replies bring no headers of their own; they share one store
  // instead of filling a fresh one each time.
  static const HttpHeaders jsonTypeOnly{{"content-type", "application/json"}};
  const bool ownHeaders = headers.size() > 0;
  if (ownHeaders) headers.set("content-type", std::string("application/json"));
  std::string body = toCompactJson(value);
  co_await respond(session, code, body, ownHeaders ? headers : jsonTypeOnly);
}

// Not a coroutine itself: it hands over the other form's, which spares a
// frame on every procedure reply.
asio::awaitable<void> respondJson(const Session& session, const JsonValue& value, HttpHeaders headers) {
  return respondJson(session, 200, value, std::move(headers));
}

asio::awaitable<void> respondStatus(const Session& session, int code, const HttpHeaders& headers) {
  std::string body = statusText(code);
  co_await respond(session, code, body, headers);
}

}  // namespace nc
