#include <gtest/gtest.h>

#include "src/units/unit_status.h"
#include "support/fake_systemctl.h"
#include "support/run_awaitable.h"

namespace nc::test {
namespace {

std::string properties(const std::string& active, const std::string& sub) {
  return "Id=packet-forwarder.service\nLoadState=loaded\nActiveState=" + active + "\nSubState=" + sub +
         "\nStateChangeTimestamp=Tue 2026-12-08 20:11:18 UTC\nUnitFileState=enabled\nNRestarts=3\n";
}

UnitStatus readStatus(const std::string& unit) {
  asio::io_context io;
  return runAwaitable(io, readUnitStatus(unit));
}

}  // namespace

TEST(UnitStatus, everyStateIsParsed) {
  for (const char* state : {"active", "inactive", "failed", "activating", "deactivating", "reloading"}) {
    UnitStatus status = parseUnitProperties(properties(state, "sub"));
    EXPECT_EQ(status.state, state);
    EXPECT_EQ(status.subState, "sub");
    EXPECT_EQ(status.since, "2026-12-08T20:11:18Z");
    EXPECT_EQ(status.enabled, "enabled");
    EXPECT_EQ(status.restarts, 3);
    EXPECT_TRUE(status.known());
  }
  // Any order, unknown keys and values holding "=" are fine.
  UnitStatus reordered = parseUnitProperties("NRestarts=0\nX=a=b\nSubState=exit-code\nActiveState=failed\n");
  EXPECT_EQ(reordered.state, "failed");
  EXPECT_EQ(reordered.subState, "exit-code");
  EXPECT_EQ(reordered.since, std::nullopt);
  EXPECT_EQ(reordered.restarts, 0);
  // Units without a restart counter (not services) have none.
  EXPECT_EQ(parseUnitProperties("ActiveState=active\nNRestarts=\n").restarts, std::nullopt);
  EXPECT_EQ(parseUnitProperties("ActiveState=active\nNRestarts=x1\n").restarts, std::nullopt);
}

TEST(UnitStatus, unknownUnitsAndFailedCommands) {
  UnitStatus missing =
      parseUnitProperties("Id=nosuch.service\nLoadState=not-found\nActiveState=inactive\nSubState=dead\n");
  EXPECT_EQ(missing.state, "unknown");
  EXPECT_EQ(missing.message, "Unit nosuch.service could not be found.");
  EXPECT_EQ(parseUnitProperties("garbage\n").message, "systemctl did not give the unit's state");

  CommandResult noBus{1, "System has not been booted with systemd as init system (PID 1). Can't operate.\n"
                         "Failed to connect to bus: Host is down\n"};
  UnitStatus down = unitStatusOf(noBus);
  EXPECT_EQ(down.state, "unknown");
  EXPECT_EQ(down.message, "System has not been booted with systemd as init system (PID 1). Can't operate.");
  EXPECT_EQ(unitStatusOf({5, " \n"}).message, "systemctl ended with status 5");
  // A warning among the properties does not hide them.
  EXPECT_EQ(unitStatusOf({0, "Warning: the unit file changed on disk.\n" + properties("active", "running")}).state,
            "active");
}

TEST(UnitStatus, timestamps) {
  EXPECT_EQ(isoTimeOfSystemdTimestamp("Tue 2026-12-08 20:11:18 UTC"), "2026-12-08T20:11:18Z");
  EXPECT_EQ(isoTimeOfSystemdTimestamp("2026-12-08 20:11:18 UTC"), "2026-12-08T20:11:18Z");
  EXPECT_EQ(isoTimeOfSystemdTimestamp(""), std::nullopt);
  EXPECT_EQ(isoTimeOfSystemdTimestamp("n/a"), std::nullopt);
  // Local zones are not read: the command asks for UTC.
  EXPECT_EQ(isoTimeOfSystemdTimestamp("Tue 2026-12-08 21:11:18 CET"), std::nullopt);
  EXPECT_EQ(isoTimeOfSystemdTimestamp("Tue 2026-12-08 20:11:1 UTC"), std::nullopt);
  EXPECT_EQ(isoTimeOfSystemdTimestamp("Tue 2026-12-08T20:11:18 UTC"), std::nullopt);
  EXPECT_EQ(isoTimeOfSystemdTimestamp("Tue 2026-1a-08 20:11:18 UTC"), std::nullopt);
  EXPECT_EQ(isoTimeOfSystemdTimestamp("Tue 2026-12-08 20:11:18 UTC "), std::nullopt);
}

TEST(UnitStatus, readThroughSystemctl) {
  FakeSystemctl fake;
  fake.setState("packet-forwarder", "failed", "exit-code", 1765224678000);
  UnitStatus failed = readStatus("packet-forwarder");
  EXPECT_EQ(failed.state, "failed");
  EXPECT_EQ(failed.subState, "exit-code");
  EXPECT_EQ(failed.since, "2025-12-08T20:11:18Z");
  ASSERT_EQ(fake.queries().size(), 1u);
  EXPECT_EQ(fake.queries()[0].rfind("show packet-forwarder --timestamp=utc --property=", 0), 0u);
  EXPECT_TRUE(fake.calls().empty());

  fake.forgetUnit("nosuch");
  EXPECT_EQ(readStatus("nosuch").message, "Unit nosuch.service could not be found.");
  fake.printOnCall("show", "", "Failed to get properties: Access denied\n");
  fake.exitWith("show", 1);
  EXPECT_EQ(readStatus("ssh").message, "Failed to get properties: Access denied");
}

TEST(UnitStatus, systemctlMissing) {
  TempDir empty;
  std::string oldPath = std::getenv("PATH");
  ::setenv("PATH", empty.path().c_str(), 1);
  UnitStatus status = readStatus("ssh");
  ::setenv("PATH", oldPath.c_str(), 1);
  EXPECT_EQ(status.state, "unknown");
  EXPECT_NE(status.message.find("systemctl: not found"), std::string::npos) << status.message;
}

}  // namespace nc::test
