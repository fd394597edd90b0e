#include "server/http_session.h"

#include <vector>

namespace nc {
namespace {

bool isSeparator(char c) { return c == '_' || c == '-'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
char toUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Header names are written capitalised, unlike the transport's own replies.
std::string sessionReplyHead(int code, size_t bodyLength, const HttpHeaders& headers) {
  std::string head = "HTTP/1.1 ";
  head += statusText(code);
  head += "\r\n";
  for (const auto& [name, values] : headers) {
    // The length line below is the true one; a second, possibly different
    // Content-Length would leave the client to guess where the reply ends.
    if (name == "content-length") continue;
    std::string casedName = httpHeaderCase(name);
    for (const auto& value : values) {
      head += casedName;
      head += ": ";
      head += value;
      head += "\r\n";
    }
  }
  head += "Content-Length: ";
  head += std::to_string(bodyLength);
  head += "\r\n\r\n";
  return head;
}

}  // namespace

std::shared_ptr<Session> newSession(std::shared_ptr<Context> context, std::string path, HttpRequest request) {
  return std::make_shared<Session>(std::move(path), std::move(request), std::move(context));
}

std::string httpHeaderCase(std::string_view name) {
  std::string result;
  if (name.empty()) return result;
  result.reserve(name.size() + 4);
  result.push_back(toUpper(name[0]));
  bool afterSeparator = false;
  for (char c : name.substr(1)) {
    if (isSeparator(c)) {
      if (!afterSeparator) result.push_back('-');
      afterSeparator = true;
    } else if (isUpper(c)) {
      if (!afterSeparator) result.push_back('-');
      result.push_back(c);
      afterSeparator = false;
    } else {
      result.push_back(afterSeparator ? toUpper(c) : c);
      afterSeparator = false;
    }
  }
  return result;
}

asio::awaitable<void> respond(const Session& session, int code, std::string_view body, const HttpHeaders& headers) {
  // Head and body leave in one gathered write: small separate sends would stall
  // behind Nagle's algorithm and delayed acknowledgements.
  std::string head = sessionReplyHead(code, body.size(), headers);
  std::vector<asio::const_buffer> pieces{asio::buffer(head)};
  if (!body.empty()) pieces.push_back(asio::buffer(body));
  co_await session.request.client->send(std::move(pieces));
}

asio::awaitable<void> respondJson(const Session& session, int code, const JsonValue& value, HttpHeaders headers) {
  headers.set("content-type", std::string("application/json"));
  std::string body = toCompactJson(value);
  co_await respond(session, code, body, headers);
}

asio::awaitable<void> respondJson(const Session& session, const JsonValue& value, HttpHeaders headers) {
  co_await respondJson(session, 200, value, std::move(headers));
}

asio::awaitable<void> respondStatus(const Session& session, int code, const HttpHeaders& headers) {
  std::string body = statusText(code);
  co_await respond(session, code, body, headers);
}

}  // namespace nc
