#include <gtest/gtest.h>

#include <unistd.h>

#include <limits>
#include <string>

#include "support/read_only_bytes.h"
#include "transport/executable_file.h"

namespace nc {
namespace {

char writableBytes[256] = "changed in memory, not in the file";

std::string readAt(const FileSpan& span, size_t size) {
  std::string bytes(size, '\0');
  EXPECT_EQ(::pread(span.descriptor, bytes.data(), size, span.offset), static_cast<ssize_t>(size));
  return bytes;
}

TEST(ExecutableFile, readOnlyBytesAreFoundWhereTheFileHoldsThem) {
  const std::string_view bytes = test::readOnlyBytes();
  for (auto [from, size] : {std::pair<size_t, size_t>{0, bytes.size()}, {1, 60}, {bytes.size() - 1, 1},
                            {bytes.size() / 2 + 7, 65536}}) {
    auto span = executableFileSpan(bytes.data() + from, size);
    ASSERT_TRUE(span) << from << "+" << size;
    EXPECT_TRUE(readAt(*span, size) == bytes.substr(from, size)) << from << "+" << size;
  }
}

TEST(ExecutableFile, otherBytesAreNotFound) {
  const std::string heap(100000, 'h');
  char stack[64] = "on the stack";
  EXPECT_FALSE(executableFileSpan(heap.data(), heap.size()));
  EXPECT_FALSE(executableFileSpan(stack, sizeof stack));
  EXPECT_FALSE(executableFileSpan(writableBytes, sizeof writableBytes));
  // Read-only at the start, but running past the end of every segment, on 32
  // bits as on 64; the largest size takes the end address around past zero.
  for (size_t size : {std::numeric_limits<size_t>::max() / 2, std::numeric_limits<size_t>::max()})
    EXPECT_FALSE(executableFileSpan(test::readOnlyBytes().data(), size)) << size;
}

}  // namespace
}  // namespace nc
