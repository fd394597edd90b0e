#include "utils/logger.h"

#include <gtest/gtest.h>

#include <sstream>

namespace nc {
namespace {

TEST(Logger, linesArePlainUnlessTheyGoToTheJournal) {
  std::ostringstream plain, journal;
  Logger(plain, false).error("disk on fire");
  Logger toJournal(journal, true);
  toJournal.error("disk on fire");
  toJournal.warning("w");
  toJournal.notice("n");
  toJournal.info("i");
  EXPECT_EQ(plain.str(), "disk on fire\n");
  EXPECT_EQ(journal.str(), "<3>disk on fire\n<4>w\n<5>n\n<6>i\n");
}

TEST(Logger, aLineBreakCannotForgeASecondEntry) {
  std::ostringstream out;
  Logger(out, true).notice("user \"x\nfoo\r\n<3>forged\"");
  EXPECT_EQ(out.str(), "<5>user \"x foo  <3>forged\"\n");
}

TEST(Logger, theJournalStreamMustNameThisVeryFile) {
  EXPECT_TRUE(journalStreamNames("8:1234", 8, 1234));
  EXPECT_FALSE(journalStreamNames(std::nullopt, 8, 1234));
  EXPECT_FALSE(journalStreamNames("", 8, 1234));
  EXPECT_FALSE(journalStreamNames("8:1234", 8, 1235));  // inherited by a child that writes elsewhere
  EXPECT_FALSE(journalStreamNames("8:12345", 8, 1234));
  EXPECT_FALSE(journalStreamNames("81:234", 8, 1234));
}

}  // namespace
}  // namespace nc
