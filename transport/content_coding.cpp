#include "transport/content_coding.h"

#include <optional>

#include "transport/ascii_case.h"
#include "transport/white_space.h"

namespace nc {
namespace {

constexpr int fullWeight = 1000;
constexpr int leastWeight = 1;

// qvalue = ( "0" [ "." 0*3DIGIT ] ) / ( "1" [ "." 0*3("0") ] ), in thousandths.
std::optional<int> parseQValue(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return std::nullopt;
  int weight = (text[0] - '0') * fullWeight;
  if (text.size() == 1) return weight;
  if (text[1] != '.' || text.size() > 5) return std::nullopt;
  int scale = 100;
  for (char digit : text.substr(2)) {
    if (digit < '0' || digit > '9') return std::nullopt;
    weight += (digit - '0') * scale;
    scale /= 10;
  }
  if (weight > fullWeight) return std::nullopt;
  return weight;
}

struct CodingElement {
  std::string_view name;
  int weight = fullWeight;
};

// "gzip;q=0.5" -> {"gzip", 500}; nullopt when a q parameter does not parse.
// Parameters other than q carry no meaning for a coding and are skipped.
std::optional<CodingElement> parseElement(std::string_view text) {
  CodingElement element;
  size_t semicolon = text.find(';');
  element.name = trimWhiteSpace(text.substr(0, semicolon));
  while (semicolon != std::string_view::npos) {
    text = text.substr(semicolon + 1);
    semicolon = text.find(';');
    std::string_view parameter = trimWhiteSpace(text.substr(0, semicolon));
    size_t equals = parameter.find('=');
    if (!equalsIgnoreCase(trimWhiteSpace(parameter.substr(0, equals)), "q")) continue;
    if (equals == std::string_view::npos) return std::nullopt;
    auto weight = parseQValue(trimWhiteSpace(parameter.substr(equals + 1)));
    if (!weight) return std::nullopt;
    element.weight = *weight;
  }
  return element;
}

bool namesCoding(std::string_view name, ContentCoding coding) {
  switch (coding) {
    case ContentCoding::brotli: return equalsIgnoreCase(name, "br");
    case ContentCoding::gzip: return equalsIgnoreCase(name, "gzip") || equalsIgnoreCase(name, "x-gzip");
    case ContentCoding::identity: return equalsIgnoreCase(name, "identity");
  }
  return false;
}

}  // namespace

std::string_view contentCodingName(ContentCoding coding) {
  switch (coding) {
    case ContentCoding::brotli: return "br";
    case ContentCoding::gzip: return "gzip";
    case ContentCoding::identity: return {};
  }
  return {};
}

int acceptedWeight(const HeaderValues* field, ContentCoding coding) {
  if (field == nullptr) return coding == ContentCoding::identity ? fullWeight : 0;
  std::optional<int> own;
  std::optional<int> wildcard;
  for (std::string_view text : *field) {
    auto element = parseElement(text);
    if (!element) continue;
    if (namesCoding(element->name, coding)) own = element->weight;
    else if (element->name == "*") wildcard = element->weight;
  }
  if (own) return *own;
  if (wildcard) return *wildcard;
  return coding == ContentCoding::identity ? leastWeight : 0;
}

ContentCoding chooseContentCoding(const HeaderValues* field, bool gzipOffered, bool brotliOffered) {
  ContentCoding best = ContentCoding::identity;
  int bestWeight = acceptedWeight(field, ContentCoding::identity);
  // Visited from the least to the most preferred, so that a tie goes to the later.
  for (auto [coding, offered] : {std::pair{ContentCoding::gzip, gzipOffered}, std::pair{ContentCoding::brotli, brotliOffered}}) {
    int weight = offered ? acceptedWeight(field, coding) : 0;
    if (weight > 0 && weight >= bestWeight) {
      best = coding;
      bestWeight = weight;
    }
  }
  return best;
}

}  // namespace nc
