#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nc::test {

TEST(Support, tempDirIsRemovedWithItsReadOnlyContent) {
  std::filesystem::path kept;
  {
    TempDir dir;
    kept = dir.path();
    writeFile(dir.path() / "f", "x");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
}

}  // namespace nc::test
