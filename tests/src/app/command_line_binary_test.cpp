#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "expected_help.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

const std::string binaryUsageHint = "Run with --help for full usage.\n";

TEST(CommandLineBinary, errorsGoToStandardErrorWithStatus1) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--lisen=x"}, "Unknown long option: \"lisen\"\n\nMaybe you meant one of:\n\tlisten\n\n" + binaryUsageHint},
      {{"--DataPath=x"}, "Unknown long option: \"DataPath\"\n\nMaybe you meant one of:\n\tdataPath\n\n" + binaryUsageHint},
      {{"--vers"}, "Unknown long option: \"vers\"\n\nMaybe you meant one of:\n\thelp port\n\n" + binaryUsageHint},
      {{"-v"}, "Unknown short option: \"v\"\n\n" + binaryUsageHint},
      {{"--forwarder=x"},
       "Ambiguous long option prefix \"forwarder\" matches:\n  forwarderConfigPath\n  forwarderSettleSeconds\n"
       "  forwarderUnitServiceName \n"
       "Run with --help for more details.\n"},
      {{"--port=abc"}, "Bad value: \"abc\" for option \"port\"; expecting int\n" + helpAt80Columns},
      {{"--listen-=x"}, "Bad operator (\"-=\") for strings, param listen\n"},
      {{"extra"}, "nodeconsole does not expect non-option arguments at \"extra\".\n" + binaryUsageHint},
      {{"--listen"}, "Missing value for option \"listen\"\n" + binaryUsageHint},
  };
  for (const auto& [args, err] : cases) {
    const ProcessResult result = runBinary(args, {{"COLUMNS", "80"}});
    EXPECT_EQ(result.exitStatus, 1) << args.front();
    EXPECT_EQ(result.out, "") << args.front();
    EXPECT_EQ(result.err, err);
  }
}

TEST(CommandLineBinary, switchesGoToStandardOutputWithStatus0) {
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases{
      {{"--help"}, "80", helpAt80Columns},
      {{"-h"}, "200", helpAt200Columns},
      {{"--help"}, "127", helpAt200Columns},
      // Without a usable COLUMNS the layout is for 80 columns.
      {{"--help"}, "", helpAt80Columns},
      {{"--help"}, "wide", helpAt80Columns},
      {{"--help"}, "0", helpAt80Columns},
      {{"--help"}, "-200", helpAt80Columns},
      {{"--help"}, "200x", helpAt80Columns},
      {{"--version"}, "80", "Unknown version\n"},
  };
  for (const auto& [args, columns, out] : cases) {
    const ProcessResult result = runBinary(args, {{"COLUMNS", columns}});
    EXPECT_EQ(result.exitStatus, 0) << args.front() << " COLUMNS=" << columns;
    EXPECT_EQ(result.out, out) << args.front() << " COLUMNS=" << columns;
    EXPECT_EQ(result.err, "");
  }
  const ProcessResult syntax = runBinary({"--help-syntax"});
  EXPECT_EQ(syntax.exitStatus, 0);
  EXPECT_EQ(syntax.out.rfind("BASIC CHEAT SHEET:\n", 0), 0u);
  EXPECT_EQ(syntax.err, "");
}

// Needs the whole service: it has to be listening when the signal arrives.
TEST(CommandLineBinary, sigintEndsTheServiceWithStatus1) {
  TempDir dir;
  const uint16_t port = freePort();
  ServiceProcess service({"--port", std::to_string(port), "--dataPath", (dir.path() / "accounts.sqlite3").string(),
                          "--forwarderConfigPath", (dir.path() / "global_conf.json").string()},
                         {}, dir.path());
  ASSERT_EQ(::kill(service.pid(), SIGINT), 0);
  // Wait for the end without reaping, so that stop() still owns the child.
  siginfo_t info{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitid(P_PID, static_cast<id_t>(service.pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(service.stop(), 1);
  EXPECT_EQ(service.errorOutput(), "SIGINT: Interrupted by Ctrl-C.\n");
}

}  // namespace
}  // namespace nc::test
