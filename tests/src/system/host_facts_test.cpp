#include <gtest/gtest.h>

#include "src/system/clock_sync.h"
#include "src/system/host_facts.h"
#include "src/system/process_figures.h"

namespace nc::test {

TEST(HostFacts, textsTheKernelAndSystemdGive) {
  EXPECT_EQ(osPrettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(osPrettyName("PRETTY_NAME='Raspbian \"lite\"'\n"), "Raspbian \"lite\"");
  EXPECT_EQ(osPrettyName("PRETTY_NAME=\"say \\\"hi\\\" \\\\ \\$HOME\"\n"), "say \"hi\" \\ $HOME");
  EXPECT_EQ(osPrettyName("PRETTY_NAME=Bare\n"), "Bare");
  EXPECT_EQ(osPrettyName("NAME=Debian\n# PRETTY_NAME=commented\n"), std::nullopt);

  const MemoryFigures memory =
      memoryFiguresOf("MemTotal:        3884376 kB\nMemFree: 1 kB\nMemAvailable:    2950000 kB\n");
  EXPECT_EQ(memory.totalBytes, 3884376ull * 1024);
  EXPECT_EQ(memory.availableBytes, 2950000ull * 1024);
  // A kernel before 3.14 has no MemAvailable; "SwapMemTotal" is not MemTotal.
  const MemoryFigures old = memoryFiguresOf("SwapMemTotal: 5 kB\nMemTotal: 7 kB\n");
  EXPECT_EQ(old.totalBytes, 7u * 1024);
  EXPECT_EQ(old.availableBytes, std::nullopt);
  EXPECT_EQ(memoryFiguresOf("MemTotal: 99999999999999999999 kB\n").totalBytes, std::nullopt);

  EXPECT_EQ(uptimeSecondsOf("5110.87 9821.05\n"), 5110);
  EXPECT_EQ(uptimeSecondsOf("nan 1\n"), std::nullopt);
  EXPECT_EQ(loadAveragesOf("0.52 0.58 0.59 1/467 25\n"), (std::array<double, 3>{0.52, 0.58, 0.59}));
  EXPECT_EQ(loadAveragesOf("0.52 0.58\n"), std::nullopt);

  // The command name may hold spaces and parentheses; nice may be negative.
  const auto figures = processFiguresOf(
      "4242 (node (con) sole) S 1 4242 4242 0 -1 4194560 1063 0 0 0 250 50 0 0 20 -5 1 0 3057 77000000 1200 "
      "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0",
      100, 4096);
  ASSERT_TRUE(figures);
  EXPECT_DOUBLE_EQ(figures->cpuSeconds, 3.0);
  EXPECT_EQ(figures->residentBytes, 1200u * 4096);
  EXPECT_EQ(processFiguresOf("4242 (short) S 1 2 3", 100, 4096), std::nullopt);

  EXPECT_EQ(toCompactJson(JsonValue(clockJsonOf("Timezone=Europe/Paris\nLocalRTC=no\nCanNTP=yes\nNTP=yes\n"
                                                "NTPSynchronized=no\nTimeUSec=Tue 2024-05-07 10:00:00 CEST\n"))),
            R"({"synchronized":false,"ntp":true,"timeZone":"Europe/Paris"})");
  EXPECT_EQ(toCompactJson(JsonValue(clockJsonOf("garbage"))), R"({"synchronized":null,"ntp":null,"timeZone":null})");
}

}  // namespace nc::test
