// The request line and header parsing: lines cut from bytes that arrive in
// pieces, the request line, the header lines and the queries made of them.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "transport/http_types.h"
#include "transport/request_parsing.h"

namespace nc::fuzz {
namespace {

constexpr std::string_view tooLongMark = "<too long>";

// The lines the bytes make when they arrive `piece` bytes at a time. As in the
// request reader, a line too long ends the reading, and at the end of the
// stream an unfinished line counts as read.
std::vector<std::string> linesOf(std::string_view bytes, size_t piece) {
  std::vector<std::string> lines;
  LineScanner scanner;
  scanner.start();
  LineStatus status = LineStatus::incomplete;
  while (!bytes.empty()) {
    std::string_view chunk = bytes.substr(0, piece);
    bytes.remove_prefix(chunk.size());
    while (!chunk.empty()) {
      status = scanner.feed(chunk);
      if (status == LineStatus::tooLong) {
        lines.emplace_back(tooLongMark);
        return lines;
      }
      if (status == LineStatus::complete) {
        lines.push_back(scanner.line());
        scanner.start();
      }
    }
  }
  if (!scanner.line().empty()) lines.push_back(scanner.line());
  return lines;
}

void checkLine(const std::string& line) {
  if (line == "\r\n" || line == tooLongMark) return;
  check(!line.empty(), "a complete line is never empty");
  check(line.size() <= maxLineLength, "no line is longer than the limit");
  check(line.find_first_of("\r\n") == std::string::npos, "a line holds no line break");
}

void checkHeaders(const HttpRequest& request) {
  size_t names = 0;
  for (const auto& [name, values] : request.headers) {
    ++names;
    for (char c : name) check(c < 'A' || c > 'Z', "header names are stored in lower case");
    const HeaderValues* stored = request.headers.get(name);
    check(stored != nullptr && *stored == values, "a stored name is found with its values");
    if (!values.empty()) {
      check(request.headers.hasValue(name, values.front()), "a stored value is found");
      check(request.headers.first(name) == values.front(), "first gives the first value");
    }
  }
  check(names == request.headers.size(), "the size counts every name");
  const HttpHeaders copy = request.headers;
  check(copy.size() == request.headers.size(), "a copy keeps every name");
  int64_t length = -1;
  parseNatural(request.headers.first("content-length"), length);
  keepsAlive(request.protocol, request.headers);
}

}  // namespace
}  // namespace nc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc;
  using namespace nc::fuzz;
  if (size == 0) return 0;
  // The first byte says in what pieces the rest arrives.
  const size_t piece = 1 + data[0] % 32;
  const std::string_view bytes = textOf(data + 1, size - 1);
  const std::vector<std::string> lines = linesOf(bytes, bytes.size());
  check(linesOf(bytes, piece) == lines, "the lines do not depend on how the bytes arrive");
  HttpRequest request;
  for (size_t i = 0; i < lines.size(); ++i) {
    checkLine(lines[i]);
    if (lines[i] == tooLongMark) break;
    if (i == 0) {
      applyRequestLine(lines[i], request);
    } else {
      parseHeader(lines[i], request.headers);
    }
  }
  checkHeaders(request);
  return 0;
}
