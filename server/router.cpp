#include "server/router.h"

#include <algorithm>

namespace nc {

std::string_view takeSegment(std::string_view& path) {
  const size_t start = path.find_first_not_of('/');
  if (start == std::string_view::npos) {
    path = {};
    return {};
  }
  const size_t end = std::min(path.find('/', start), path.size());
  const std::string_view segment = path.substr(start, end - start);
  path.remove_prefix(end);
  return segment;
}

std::vector<std::string_view> normalizedSplit(std::string_view path) {
  std::vector<std::string_view> segments;
  for (std::string_view segment = takeSegment(path); !segment.empty(); segment = takeSegment(path)) {
    segments.push_back(segment);
  }
  return segments;
}

std::string joinSegments(std::string_view path) {
  std::string joined;
  joined.reserve(path.size());
  for (std::string_view segment = takeSegment(path); !segment.empty(); segment = takeSegment(path)) {
    if (!joined.empty()) joined += '/';
    joined += segment;
  }
  return joined;
}

}  // namespace nc
