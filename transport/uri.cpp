#include "transport/uri.h"

#include <cctype>

namespace nc {
namespace {

// Splits `text` at the first `separator`: returns what follows it and leaves
// what precedes it in `text`; empty when the separator is absent.
std::string_view cutAfter(std::string_view& text, char separator) {
  size_t at = text.find(separator);
  if (at == std::string_view::npos) return {};
  std::string_view after = text.substr(at + 1);
  text = text.substr(0, at);
  return after;
}

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":".
size_t schemeLength(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return 0;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == ':') return i;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

void parseHostAndPort(std::string_view hostPort, Uri& uri) {
  if (!hostPort.empty() && hostPort[0] == '[') {
    size_t close = hostPort.find(']');
    if (close != std::string_view::npos) {
      uri.isIpv6 = true;
      uri.hostname = hostPort.substr(1, close - 1);
      std::string_view rest = hostPort.substr(close + 1);
      if (!rest.empty() && rest[0] == ':') uri.port = rest.substr(1);
      return;
    }
  }
  uri.port = cutAfter(hostPort, ':');
  uri.hostname = hostPort;
}

void parseAuthority(std::string_view authority, Uri& uri) {
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    uri.password = cutAfter(userInfo, ':');
    uri.username = userInfo;
    authority = authority.substr(at + 1);
  }
  parseHostAndPort(authority, uri);
}

}  // namespace

Uri parseUri(std::string_view text) {
  Uri uri;
  uri.anchor = cutAfter(text, '#');
  uri.query = cutAfter(text, '?');
  if (size_t length = schemeLength(text); length > 0) {
    uri.scheme = text.substr(0, length);
    text = text.substr(length + 1);
    uri.opaque = text.substr(0, 1) != "/";
  }
  if (text.substr(0, 2) == "//") {
    text = text.substr(2);
    size_t slash = text.find('/');
    parseAuthority(text.substr(0, slash), uri);
    text = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  }
  uri.path = text;
  return uri;
}

}  // namespace nc
