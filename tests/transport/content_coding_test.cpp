#include "transport/content_coding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nc {
namespace {

// The header's elements as the request reader stores them: split at commas,
// leading white space skipped.
HeaderValues elements(std::initializer_list<std::string_view> list) { return HeaderValues(list); }

TEST(ContentCoding, qValuesAtTheirLimits) {
  struct Case {
    std::string element;
    int weight;  // of gzip, in thousandths; 0 when the element is ignored
  };
  const std::vector<Case> cases{
      {"gzip", 1000},        {"gzip;q=1", 1000},      {"gzip;q=1.", 1000},    {"gzip;q=1.000", 1000},
      {"gzip;q=1.001", 0},   {"gzip;q=1.0000", 0},    {"gzip;q=0.999", 999},  {"gzip;q=0.001", 1},
      {"gzip;q=0.000", 0},   {"gzip;q=0", 0},         {"gzip;q=0.", 0},       {"gzip;q=0.5", 500},
      {"gzip;q=0.05", 50},   {"gzip;q=0.1234", 0},    {"gzip;q=2", 0},        {"gzip;q=.5", 0},
      {"gzip;q=-0.5", 0},    {"gzip;q=", 0},          {"gzip;q", 0},          {"gzip;q=0x1", 0},
      {"gzip ; q = 0.25 ", 250}, {"gzip;Q=0.3", 300}, {"gzip;level=9;q=0.4", 400}, {"gzip;q=0.2;q=0.6", 600},
      {"GZip;q=0.7", 700},   {"x-gzip;q=0.8", 800},   {"gzipx", 0},           {"g zip", 0},
  };
  for (const auto& [element, weight] : cases) {
    SCOPED_TRACE(element);
    const auto field = elements({element});
    EXPECT_EQ(acceptedWeight(&field, ContentCoding::gzip), weight);
  }
}

TEST(ContentCoding, wildcardAndIdentityDefaults) {
  EXPECT_EQ(acceptedWeight(nullptr, ContentCoding::identity), 1000);
  EXPECT_EQ(acceptedWeight(nullptr, ContentCoding::gzip), 0);
  EXPECT_EQ(acceptedWeight(nullptr, ContentCoding::brotli), 0);
  const auto empty = elements({""});
  EXPECT_EQ(acceptedWeight(&empty, ContentCoding::identity), 1);
  EXPECT_EQ(acceptedWeight(&empty, ContentCoding::gzip), 0);
  const auto wildcard = elements({"br;q=0.2", "*;q=0.6"});
  EXPECT_EQ(acceptedWeight(&wildcard, ContentCoding::brotli), 200) << "its own element wins over *";
  EXPECT_EQ(acceptedWeight(&wildcard, ContentCoding::gzip), 600);
  EXPECT_EQ(acceptedWeight(&wildcard, ContentCoding::identity), 600);
  const auto excluded = elements({"*;q=0", "identity;q=0.1"});
  EXPECT_EQ(acceptedWeight(&excluded, ContentCoding::identity), 100);
  EXPECT_EQ(acceptedWeight(&excluded, ContentCoding::brotli), 0);
}

TEST(ContentCoding, choiceAmongOfferedCodings) {
  struct Case {
    HeaderValues field;
    bool gzipOffered;
    bool brotliOffered;
    ContentCoding expected;
  };
  const std::vector<Case> cases{
      {{"gzip", "br"}, true, true, ContentCoding::brotli},
      {{"gzip", "br"}, true, false, ContentCoding::gzip},
      {{"gzip", "br"}, false, false, ContentCoding::identity},
      {{"br"}, true, false, ContentCoding::identity},
      {{"gzip;q=0.5", "br;q=0.5"}, true, true, ContentCoding::brotli},
      {{"gzip;q=0.501", "br;q=0.5"}, true, true, ContentCoding::gzip},
      {{"gzip;q=0.5", "identity"}, true, true, ContentCoding::identity},
      {{"gzip;q=0.5", "identity;q=0.5"}, true, true, ContentCoding::gzip},
      {{"identity;q=0"}, true, true, ContentCoding::identity},
      {{"*"}, true, true, ContentCoding::brotli},
      {{"*", "br;q=0"}, true, true, ContentCoding::gzip},
  };
  for (const auto& [field, gzipOffered, brotliOffered, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(field));
    EXPECT_EQ(chooseContentCoding(&field, gzipOffered, brotliOffered), expected);
  }
  EXPECT_EQ(contentCodingName(ContentCoding::brotli), "br");
  EXPECT_EQ(contentCodingName(ContentCoding::gzip), "gzip");
  EXPECT_EQ(contentCodingName(ContentCoding::identity), "");
}

}  // namespace
}  // namespace nc
