#include "transport/reply_writing.h"

#include <array>

#include "transport/async_http_server.h"

namespace nc {

std::string replyHead(int code, const HttpHeaders& headers, size_t contentLength) {
  std::string head = "HTTP/1.1 ";
  head += statusText(code);
  head += "\r\n";
  for (const auto& [name, values] : headers) {
    for (const auto& value : values) head.append(name).append(": ").append(value).append("\r\n");
  }
  if (!headers.contains("content-length")) head.append("Content-Length: ").append(std::to_string(contentLength)).append("\r\n");
  head += "\r\n";
  return head;
}

asio::awaitable<void> respond(HttpRequest& request, int code, std::string_view content, const HttpHeaders& headers) {
  std::string head = replyHead(code, headers, content.size());
  const std::array<asio::const_buffer, 2> pieces{asio::buffer(head), asio::buffer(content)};
  co_await request.client->send(pieces);
}

asio::awaitable<void> respondError(HttpRequest& request, int code) {
  std::string body = statusText(code);
  co_await respond(request, code, body);
}

asio::awaitable<void> sendStatus(Connection& connection, std::string_view statusText) {
  std::string line = "HTTP/1.1 ";
  line.append(statusText).append("\r\n\r\n");
  co_await connection.send(line);
}

}  // namespace nc
