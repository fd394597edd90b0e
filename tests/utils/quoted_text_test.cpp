#include "utils/quoted_text.h"

#include <gtest/gtest.h>

#include <string>

namespace nc {

TEST(QuotedText, escapes) {
  EXPECT_EQ(quoteEscaped(""), "\"\"");
  EXPECT_EQ(quoteEscaped("127.0.0.1"), "\"127.0.0.1\"");
  EXPECT_EQ(quoteEscaped("\a\b\t\n\v\f\r\x1b"), "\"\\a\\b\\t\\n\\v\\f\\r\\e\"");
  EXPECT_EQ(quoteEscaped("\"'\\"), "\"\\\"\\'\\\\\"");
  EXPECT_EQ(quoteEscaped(std::string("\0\x06\x0e\x1a\x1c\x1f\x7f\x80\xff", 9)),
            "\"\\x00\\x06\\x0E\\x1A\\x1C\\x1F\\x7F\\x80\\xFF\"");
  EXPECT_EQ(quoteEscaped(" ~"), "\" ~\"");
}

}  // namespace nc
