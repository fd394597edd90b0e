#include "src/app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "expected_help.h"

namespace nc::test {
namespace {

struct Parsed {
  CommandLineOutcome outcome;
  std::string out;
  std::string err;
};

Parsed parse(const std::vector<std::string>& args, int columns = 80) {
  std::ostringstream out, err;
  CommandLineOutcome outcome = parseCommandLine(args, out, err, columns);
  return {outcome, out.str(), err.str()};
}

// Runs a command line that must be accepted and returns its settings.
Settings accepted(const std::vector<std::string>& args) {
  Parsed parsed = parse(args);
  const std::string first = args.empty() ? "" : args.front();
  EXPECT_TRUE(parsed.outcome.settings.has_value()) << first << ": " << parsed.err;
  EXPECT_EQ(parsed.out + parsed.err, "") << first;
  return parsed.outcome.settings.value_or(Settings{});
}

// Runs a command line that must be refused and returns what standard error got.
std::string refused(const std::vector<std::string>& args) {
  Parsed parsed = parse(args);
  EXPECT_FALSE(parsed.outcome.settings.has_value()) << args.front();
  EXPECT_EQ(parsed.outcome.exitStatus, 1) << args.front();
  EXPECT_EQ(parsed.out, "") << args.front();
  return parsed.err;
}

const std::string usageHint = "Run with --help for full usage.\n";

TEST(CommandLine, defaultsWithoutArguments) {
  const Settings settings = accepted({});
  EXPECT_EQ(settings.listen, "127.0.0.1");
  EXPECT_EQ(settings.port, 9992);
  EXPECT_EQ(settings.forwarderConfigPath, "/opt/zel/packet_forwarder/lora_pkt_fwd/global_conf.json");
  EXPECT_EQ(settings.forwarderUnitServiceName, "packet-forwarder");
  EXPECT_EQ(settings.dataPath, "nodeconsole.sqlite3");
}

TEST(CommandLine, tlsFiles) {
  EXPECT_EQ(accepted({}).tlsCertificate, "");
  EXPECT_EQ(accepted({}).tlsKey, "");
  const Settings both = accepted({"--tls-certificate=/var/lib/c.pem", "--tlsk", "/var/lib/k.pem"});
  EXPECT_EQ(both.tlsCertificate, "/var/lib/c.pem");
  EXPECT_EQ(both.tlsKey, "/var/lib/k.pem");
  EXPECT_EQ(refused({"--t=x"}).substr(0, 35), "Ambiguous long option prefix \"t\" ma");
}

TEST(CommandLine, tokenLifetimeAndAllowedHosts) {
  EXPECT_EQ(accepted({}).tokenLifetime, 86400);
  EXPECT_EQ(accepted({}).allowedHosts, "");
  EXPECT_EQ(accepted({"--tokenLifetime=3600"}).tokenLifetime, 3600);
  EXPECT_EQ(accepted({"--token-lifetime", "0"}).tokenLifetime, 0);
  EXPECT_EQ(accepted({"--to", "60"}).tokenLifetime, 60);
  EXPECT_EQ(accepted({"--allowedHosts=gw.example.net,console"}).allowedHosts, "gw.example.net,console");
  EXPECT_EQ(accepted({"--allowed=a", "--a+=,b"}).allowedHosts, "a,b");
  EXPECT_EQ(accepted({}).metricsTokenFile, "");
  EXPECT_EQ(accepted({"--metrics-token-file", "/etc/nodeconsole/metrics.token"}).metricsTokenFile,
            "/etc/nodeconsole/metrics.token");
  EXPECT_EQ(refused({"--tokenLifetime=day"}).rfind("Bad value: \"day\" for option \"tokenLifetime\"; expecting int\n", 0),
            0u);
}

TEST(CommandLine, optionForms) {
  const std::vector<std::vector<std::string>> portForms{
      {"--port", "8080"}, {"--port=8080"}, {"--port:8080"}, {"-p8080"}, {"-p=8080"},
      {"-p:8080"},        {"-p", "8080"},  {"--po=8080"},   {"--p", "8080"}};
  for (const auto& form : portForms) EXPECT_EQ(accepted(form).port, 8080) << form.front();
  // Only the first separator splits; the rest belongs to the value.
  EXPECT_EQ(accepted({"--listen=a=b:c"}).listen, "a=b:c");
  EXPECT_EQ(accepted({"--listen:a=b"}).listen, "a=b");
  EXPECT_EQ(accepted({"-l=:x"}).listen, ":x");
  EXPECT_EQ(accepted({"-lhost"}).listen, "host");
  // A separate value is taken as it stands, even when it looks like an option.
  EXPECT_EQ(accepted({"--listen", "--port=1"}).listen, "--port=1");
  EXPECT_EQ(accepted({"-d", "-x"}).dataPath, "-x");
  EXPECT_EQ(accepted({"-f", "/etc/f.json"}).forwarderConfigPath, "/etc/f.json");
  EXPECT_EQ(accepted({"--forwarderUnitServiceName", "lora"}).forwarderUnitServiceName, "lora");
  EXPECT_EQ(accepted({"--listen="}).listen, "");
  EXPECT_EQ(accepted({"-l", ""}).listen, "");
  EXPECT_EQ(accepted({"--listen=x", "--"}).listen, "x");
}

TEST(CommandLine, nameNormalisation) {
  for (const std::string name : {"--dataPath", "--dataPATH", "--data-path", "--data_path", "--datapath",
                                 "--d_A-t_A-p_A-t_H"})
    EXPECT_EQ(accepted({name + "=x"}).dataPath, "x") << name;
  EXPECT_EQ(accepted({"--dataPath-", "x"}).dataPath, "x");
  // The first letter keeps its case, so these name nothing.
  EXPECT_EQ(refused({"--FORWARDER-unit=x"}), "Unknown long option: \"FORWARDER-unit\"\n\n" + usageHint);
  EXPECT_EQ(refused({"--LIS=x"}), "Unknown long option: \"LIS\"\n\n" + usageHint);
}

TEST(CommandLine, prefixes) {
  EXPECT_EQ(accepted({"--d=x"}).dataPath, "x");
  EXPECT_EQ(accepted({"--l=x"}).listen, "x");
  EXPECT_EQ(accepted({"--forwarderC=x"}).forwarderConfigPath, "x");
  EXPECT_EQ(accepted({"--forwarder-u=x"}).forwarderUnitServiceName, "x");
  EXPECT_EQ(accepted({}).forwarderSettleSeconds, 5);
  EXPECT_EQ(accepted({"--forwarder-s", "12"}).forwarderSettleSeconds, 12);
  // An exact name wins over the longer names it begins.
  EXPECT_EQ(parse({"--help"}).out, helpAt80Columns);
  EXPECT_EQ(parse({"--help-s"}).out.rfind("BASIC CHEAT SHEET:\n", 0), 0u);
}

TEST(CommandLine, ambiguousPrefixes) {
  const std::string forwarderList = "  forwarderConfigPath\n  forwarderSettleSeconds\n  forwarderUnitServiceName \n";
  const std::string helpList = "  help\n  help-syntax \n";
  const std::string moreDetails = "Run with --help for more details.\n";
  EXPECT_EQ(refused({"--f=x"}), "Ambiguous long option prefix \"f\" matches:\n" + forwarderList + moreDetails);
  EXPECT_EQ(refused({"--forWARD_er", "x"}),
            "Ambiguous long option prefix \"forWARD_er\" matches:\n" + forwarderList + moreDetails);
  for (const std::string key : {"h", "he", "hel", "hE_l"})
    EXPECT_EQ(refused({"--" + key}),
              "Ambiguous long option prefix \"" + key + "\" matches:\n" + helpList + moreDetails);
  // An empty name is a prefix of every name.
  EXPECT_EQ(refused({"--=x"}), "Ambiguous long option prefix \"\" matches:\n  allowedHosts\n  dataPath\n"
                               "  forwarderConfigPath\n  forwarderSettleSeconds\n"
                               "  forwarderUnitServiceName\n  help\n  help-syntax\n  initialPasswordFile\n  listen\n"
                               "  metricsTokenFile\n  port\n  tlsCertificate\n  tlsKey\n  tokenLifetime \n" +
                                   moreDetails);
}

TEST(CommandLine, stringOperators) {
  EXPECT_EQ(accepted({"--listen+=.lan"}).listen, "127.0.0.1.lan");
  EXPECT_EQ(accepted({"--listen&=.lan"}).listen, "127.0.0.1.lan");
  EXPECT_EQ(accepted({"--listen^=lan."}).listen, "lan.127.0.0.1");
  EXPECT_EQ(accepted({"--listen+:.lan"}).listen, "127.0.0.1.lan");
  EXPECT_EQ(accepted({"-l+=.lan"}).listen, "127.0.0.1.lan");
  EXPECT_EQ(accepted({"-l^:x"}).listen, "x127.0.0.1");
  EXPECT_EQ(accepted({"--data-path=a", "--dataPath+=b", "-d^=c", "--d&=d"}).dataPath, "cabd");
  EXPECT_EQ(accepted({"--listen=", "--listen+=x"}).listen, "x");
  // An operator character not followed by a separator is part of the value.
  EXPECT_EQ(accepted({"-l+x"}).listen, "+x");
  EXPECT_EQ(accepted({"--listen=+=x"}).listen, "+=x");
}

TEST(CommandLine, badOperators) {
  EXPECT_EQ(refused({"--listen-=x"}), "Bad operator (\"-=\") for strings, param listen\n");
  EXPECT_EQ(refused({"--data-Path,=x"}), "Bad operator (\",=\") for strings, param data-Path\n");
  EXPECT_EQ(refused({"--lis+-=x"}), "Bad operator (\"+-=\") for strings, param lis\n");
  EXPECT_EQ(refused({"-f*:x"}), "Bad operator (\"*:\") for strings, param f\n");
  EXPECT_EQ(refused({"--port+=1"}), "Bad operator (\"+=\") for ints, param port\n");
  EXPECT_EQ(refused({"-p^=1"}), "Bad operator (\"^=\") for ints, param p\n");
  // Checked when the option is reached: an earlier bad one stops the run.
  EXPECT_EQ(refused({"--listen-=x", "--help"}), "Bad operator (\"-=\") for strings, param listen\n");
}

TEST(CommandLine, integers) {
  const std::vector<std::pair<std::string, int64_t>> good{
      {" 8080 ", 8080}, {"\t\v8080\r\n\f", 8080}, {"+8080", 8080}, {"0", 0}, {"-1", -1}, {"65536", 65536},
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN}, {"007", 7}};
  for (const auto& [value, number] : good) EXPECT_EQ(accepted({"--port=" + value}).port, number) << value;
  for (const std::string value : {"", " ", "abc", "80 80", "8080abc", "0x10", "1_000", "+-5", "-", "+", "8.0",
                                  "9223372036854775808", "-9223372036854775809"})
    EXPECT_EQ(refused({"--port=" + value}),
              "Bad value: \"" + value + "\" for option \"port\"; expecting int\n" + helpAt80Columns)
        << value;
  EXPECT_EQ(refused({"-p", "x"}), "Bad value: \"x\" for option \"p\"; expecting int\n" + helpAt80Columns);
  EXPECT_EQ(refused({"--PO:x"}), "Unknown long option: \"PO\"\n\nMaybe you meant one of:\n\tport\n\n" + usageHint);
  EXPECT_EQ(refused({"--po:x"}), "Bad value: \"x\" for option \"po\"; expecting int\n" + helpAt80Columns);
}

TEST(CommandLine, lastOccurrenceWins) {
  const Settings settings =
      accepted({"-p1", "--port=2", "-l", "a", "--listen:b", "-d", "x", "--data-path=y", "--dataPath", "z"});
  EXPECT_EQ(settings.port, 2);
  EXPECT_EQ(settings.listen, "b");
  EXPECT_EQ(settings.dataPath, "z");
}

TEST(CommandLine, unknownOptions) {
  const auto unknownLong = [](const std::string& key, const std::string& suggestions) {
    const std::string maybe = suggestions.empty() ? "" : "Maybe you meant one of:\n\t" + suggestions + "\n\n";
    return "Unknown long option: \"" + key + "\"\n\n" + maybe + usageHint;
  };
  EXPECT_EQ(refused({"--lisen=x"}), unknownLong("lisen", "listen"));
  EXPECT_EQ(refused({"--DataPath=x"}), unknownLong("DataPath", "dataPath"));
  EXPECT_EQ(refused({"--lsiten", "x"}), unknownLong("lsiten", "listen"));
  EXPECT_EQ(refused({"--Lisen=x"}), unknownLong("Lisen", "listen"));
  EXPECT_EQ(refused({"--help_syntx"}), unknownLong("help_syntx", "help-syntax"));
  EXPECT_EQ(refused({"--hist"}), unknownLong("hist", "help listen port"));
  EXPECT_EQ(refused({"--vers"}), unknownLong("vers", "help port"));
  EXPECT_EQ(refused({"--Version"}), unknownLong("Version", ""));
  EXPECT_EQ(refused({"--HELPS"}), unknownLong("HELPS", "help"));
  EXPECT_EQ(refused({"--x"}), unknownLong("x", ""));
  EXPECT_EQ(refused({"---port=1"}), unknownLong("-port", "port"));
  EXPECT_EQ(refused({"-v"}), "Unknown short option: \"v\"\n\n" + usageHint);
  EXPECT_EQ(refused({"-xl", "y"}), "Unknown short option: \"x\"\n\n" + usageHint);
  EXPECT_EQ(refused({"-P8080"}), "Unknown short option: \"P\"\n\n" + usageHint);
}

TEST(CommandLine, switches) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"--hELP"}, {"--help=no"}, {"-hx"}, {"--help", "extra"}, {"-p1", "-h", "-v"}}) {
    const Parsed parsed = parse(args);
    EXPECT_FALSE(parsed.outcome.settings.has_value());
    EXPECT_EQ(parsed.outcome.exitStatus, 0);
    EXPECT_EQ(parsed.out, helpAt80Columns) << args.front();
    EXPECT_EQ(parsed.err, "");
  }
  EXPECT_EQ(parse({"--version"}).out, "Unknown version\n");
  EXPECT_EQ(parse({"--ver-SION", "x"}).out, "Unknown version\n");
  EXPECT_EQ(parse({"--version"}).outcome.exitStatus, 0);
  const Parsed syntax = parse({"--help-syntax"});
  EXPECT_EQ(syntax.outcome.exitStatus, 0);
  EXPECT_EQ(syntax.out.rfind("BASIC CHEAT SHEET:\n", 0), 0u);
  for (const std::string topic : {"--name:value", "-nvalue", "--data_path", "prefix", "--help", "+=", "^=", "List"})
    EXPECT_NE(syntax.out.find(topic), std::string::npos) << topic;
}

TEST(CommandLine, helpLayoutFollowsTerminalWidth) {
  EXPECT_EQ(parse({"-h"}, 200).out, helpAt200Columns);
  EXPECT_EQ(parse({"-h"}, 127).out, helpAt200Columns);
  EXPECT_EQ(parse({"-h"}, 0).out, helpAt80Columns);
  EXPECT_EQ(parse({"-h"}, 114).out, helpAt80Columns);
  // At 126 columns the widest description (29 characters) no longer fits its 28.
  std::string at126 = helpAt200Columns;
  const std::string whole = "print this cligen-erated help\n";
  at126.replace(at126.find(whole), whole.size(), "print this cligen-erated\n" + helpContinuation + "help\n");
  EXPECT_EQ(parse({"-h"}, 126).out, at126);
  // The bad-value text carries the help laid out for the same terminal.
  EXPECT_EQ(parse({"--port=?"}, 200).err, "Bad value: \"?\" for option \"port\"; expecting int\n" + helpAt200Columns);
}

TEST(CommandLine, nonOptionArguments) {
  const auto rejected = [](const std::string& arg) {
    return "nodeconsole does not expect non-option arguments at \"" + arg + "\".\n" + usageHint;
  };
  EXPECT_EQ(refused({"extra"}), rejected("extra"));
  EXPECT_EQ(refused({"-"}), rejected("-"));
  EXPECT_EQ(refused({""}), rejected(""));
  EXPECT_EQ(refused({"--", "--help"}), rejected("--help"));
  EXPECT_EQ(refused({"extra", "--help"}), rejected("extra"));
  EXPECT_EQ(refused({"-p", "1", "2"}), rejected("2"));
}

TEST(CommandLine, missingValue) {
  EXPECT_EQ(refused({"--listen"}), "Missing value for option \"listen\"\n" + usageHint);
  EXPECT_EQ(refused({"-p1", "-l"}), "Missing value for option \"l\"\n" + usageHint);
  EXPECT_EQ(refused({"--port"}), "Missing value for option \"port\"\n" + usageHint);
}

TEST(WrapLeastRagged, breaks) {
  using Lines = std::vector<std::string>;
  // Greedy filling would give "aaa bb" / "cc" / "ddddd" at a cost of 64, not 28.
  EXPECT_EQ(wrapLeastRagged("aaa bb cc ddddd", 6), (Lines{"aaa", "bb cc", "ddddd"}));
  // The last line's unused width is free.
  EXPECT_EQ(wrapLeastRagged("aaaa bb c", 7), (Lines{"aaaa bb", "c"}));
  EXPECT_EQ(wrapLeastRagged("exactly sixteen!", 16), (Lines{"exactly sixteen!"}));
  EXPECT_EQ(wrapLeastRagged("exactly seventeen", 16), (Lines{"exactly", "seventeen"}));
  EXPECT_EQ(wrapLeastRagged("a verylongword b", 5), (Lines{"a", "verylongword", "b"}));
  EXPECT_EQ(wrapLeastRagged("verylongword", 5), (Lines{"verylongword"}));
  EXPECT_EQ(wrapLeastRagged("  a   b  ", 10), (Lines{"a b"}));
  EXPECT_EQ(wrapLeastRagged("", 10), (Lines{""}));
  EXPECT_EQ(wrapLeastRagged("   ", 10), (Lines{""}));
  EXPECT_EQ(wrapLeastRagged("a b c", 2147483647), (Lines{"a b c"}));
}

TEST(DamerauLevenshteinDistance, distances) {
  const std::vector<std::tuple<std::string, std::string, size_t>> cases{
      {"", "", 0},         {"abc", "", 3},           {"", "abc", 3},         {"port", "port", 0},
      {"lisen", "listen", 1}, {"lsiten", "listen", 1}, {"Datapath", "datapath", 1}, {"kitten", "sitting", 3},
      // Swapping then inserting between the swapped pair: 3 when no substring
      // may be edited twice, 2 without that restriction.
      {"ca", "abc", 2},    {"abc", "ca", 2},         {"\xff\x01", "\x01\xff", 1}};
  for (const auto& [a, b, distance] : cases) EXPECT_EQ(damerauLevenshteinDistance(a, b), distance) << a << "/" << b;
}

}  // namespace
}  // namespace nc::test
