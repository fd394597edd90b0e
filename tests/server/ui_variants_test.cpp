// The compressed copies compiled into the executable, decoded here with zlib
// and Brotli's own decoder: each must give back its file byte for byte.
#include <brotli/decode.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <set>
#include <stdexcept>
#include <string>

#include "server/embedded_files.h"

namespace {

// Larger than any file of the build: the whole UI stays within 1.4 MB.
constexpr size_t maxDecodedBytes = 4 << 20;

std::string gunzip(std::string_view encoded) {
  z_stream stream{};
  // 16 + MAX_WBITS: a gzip wrapper, not a zlib one.
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) throw std::runtime_error("inflateInit2");
  std::string decoded(maxDecodedBytes, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(encoded.data()));
  stream.avail_in = static_cast<uInt>(encoded.size());
  stream.next_out = reinterpret_cast<Bytef*>(decoded.data());
  stream.avail_out = static_cast<uInt>(decoded.size());
  const int result = inflate(&stream, Z_FINISH);
  decoded.resize(stream.total_out);
  const bool allRead = stream.avail_in == 0;
  inflateEnd(&stream);
  if (result != Z_STREAM_END || !allRead) throw std::runtime_error("not one whole gzip stream");
  return decoded;
}

std::string unbrotli(std::string_view encoded) {
  std::string decoded(maxDecodedBytes, '\0');
  size_t size = decoded.size();
  if (BrotliDecoderDecompress(encoded.size(), reinterpret_cast<const uint8_t*>(encoded.data()), &size,
                              reinterpret_cast<uint8_t*>(decoded.data())) != BROTLI_DECODER_RESULT_SUCCESS)
    throw std::runtime_error("not a whole Brotli stream");
  decoded.resize(size);
  return decoded;
}

bool isText(std::string_view type) {
  return type.starts_with("text/") || type == "application/javascript" || type == "application/json" ||
         type == "image/svg+xml";
}

}  // namespace

TEST(UiVariants, decodeToTheFileAndAreSmaller) {
  size_t compressedText = 0;
  for (const auto& file : nc::uiFiles()) {
    SCOPED_TRACE(std::string(file.path));
    if (!file.gzip.content.empty()) {
      EXPECT_EQ(gunzip(file.gzip.content), file.content);
      EXPECT_LT(file.gzip.content.size(), file.content.size());
    }
    if (!file.brotli.content.empty()) {
      EXPECT_EQ(unbrotli(file.brotli.content), file.content);
      EXPECT_LT(file.brotli.content.size(), file.content.size());
    }
    // Only files of a few bytes gain nothing from compression.
    if (isText(file.contentType) && file.content.size() > 1024) {
      EXPECT_FALSE(file.gzip.content.empty());
      EXPECT_FALSE(file.brotli.content.empty());
      ++compressedText;
    }
    if (!isText(file.contentType)) {
      EXPECT_TRUE(file.gzip.content.empty()) << "already compressed";
      EXPECT_TRUE(file.brotli.content.empty()) << "already compressed";
    }
  }
  EXPECT_GE(compressedText, 2u) << "at least the page and its first script";
}

TEST(UiVariants, everyVariantHasItsOwnStrongTag) {
  std::set<std::string_view> tags;
  for (const auto& file : nc::uiFiles()) {
    SCOPED_TRACE(std::string(file.path));
    for (const nc::UiVariant& variant : {nc::UiVariant{file.content, file.etag}, file.gzip, file.brotli}) {
      if (variant.content.empty()) continue;
      ASSERT_GE(variant.etag.size(), 18u);
      EXPECT_EQ(variant.etag.front(), '"');
      EXPECT_EQ(variant.etag.back(), '"');
      EXPECT_EQ(variant.etag.substr(1, variant.etag.size() - 2).find_first_not_of("0123456789abcdef"),
                std::string_view::npos);
      EXPECT_TRUE(tags.insert(variant.etag).second) << "tag shared: " << variant.etag;
    }
  }
}
