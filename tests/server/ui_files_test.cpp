#include "server/embedded_files.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

// The budget the gateway's flash allows for the whole web UI, compressed
// copies included. It was 1.2 MB until the overview page: its chart library
// (uPlot, about 53 KB plain, 100 KB with its copies) and the page's own code
// took it past that.
constexpr size_t maxTotalBytes = 1'400'000;

const nc::UiFile* findFile(std::string_view path) {
  for (const auto& file : nc::uiFiles())
    if (file.path == path) return &file;
  return nullptr;
}

std::string extensionOf(std::string_view path) {
  auto dot = path.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

// URLs under /ui/ named by a file's href, src or url() references.
std::set<std::string> uiReferences(std::string_view text) {
  std::set<std::string> found;
  for (std::string_view opener : {"href=\"/ui/", "src=\"/ui/", "url(/ui/", "url(\"/ui/", "url('/ui/"}) {
    for (auto at = text.find(opener); at != std::string_view::npos; at = text.find(opener, at + 1)) {
      auto start = at + opener.size();
      auto end = text.find_first_of("\"') \t\r\n", start);
      found.emplace(text.substr(start, end - start));
    }
  }
  return found;
}

}  // namespace

TEST(UiFiles, tableShape) {
  const std::map<std::string, std::string> typeOfExtension = {
      {".html", "text/html"}, {".js", "application/javascript"}, {".css", "text/css"},
      {".json", "application/json"}, {".txt", "text/plain"}, {".svg", "image/svg+xml"},
      {".webp", "image/webp"}, {".ico", "image/x-icon"}, {".png", "image/png"}, {".woff2", "font/woff2"}};
  std::set<std::string_view> paths;
  size_t total = 0;
  for (const auto& file : nc::uiFiles()) {
    SCOPED_TRACE(std::string(file.path));
    EXPECT_FALSE(file.path.empty());
    EXPECT_NE(file.path.front(), '/');
    EXPECT_TRUE(paths.insert(file.path).second) << "listed twice";
    EXPECT_NE(extensionOf(file.path), ".map") << "source maps are not served";
    auto type = typeOfExtension.find(extensionOf(file.path));
    ASSERT_NE(type, typeOfExtension.end()) << "unexpected kind of file";
    EXPECT_EQ(file.contentType, type->second);
    EXPECT_FALSE(file.content.empty());
    total += file.content.size() + file.gzip.content.size() + file.brotli.content.size();
  }
  EXPECT_TRUE(paths.contains("index.html"));
  EXPECT_LE(total, maxTotalBytes);
}

TEST(UiFiles, pageFindsEveryFileItNames) {
  const auto* index = findFile("index.html");
  ASSERT_NE(index, nullptr);
  EXPECT_NE(index->content.find("<title>LoRa Gateway</title>"), std::string_view::npos);
  EXPECT_NE(index->content.find("rel=\"icon\""), std::string_view::npos);
  // A build made for another base path would name its files outside /ui/.
  EXPECT_EQ(index->content.find("=\"/assets/"), std::string_view::npos);
  auto fromIndex = uiReferences(index->content);
  // The login page's styles come inside the script.
  EXPECT_GE(fromIndex.size(), 2u) << "the script and the icon";
  for (const auto& file : nc::uiFiles()) {
    if (file.contentType != "text/html" && file.contentType != "text/css") continue;
    for (const auto& reference : uiReferences(file.content))
      EXPECT_NE(findFile(reference), nullptr) << file.path << " names /ui/" << reference;
  }
}
