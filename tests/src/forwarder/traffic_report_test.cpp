#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "src/forwarder/traffic_report.h"

namespace nc::test {
namespace {

constexpr int64_t journalTime = 1700000000;

// An interval as one line: absent figures as "-", so that a case shows at a
// glance which figures a report gave.
std::string describe(const TrafficInterval& interval) {
  std::ostringstream text;
  text << "t=" << interval.time;
  for (auto kind :
       {TrafficCount::received, TrafficCount::forwarded, TrafficCount::pushDataSent, TrafficCount::pullDataSent,
        TrafficCount::downlinksReceived, TrafficCount::downlinksSent, TrafficCount::txErrors}) {
    auto count = interval.count(kind);
    text << " " << (count ? std::to_string(*count) : "-");
  }
  text << " |";
  for (auto kind : {TrafficShare::crcOk, TrafficShare::crcFail, TrafficShare::noCrc, TrafficShare::pushDataAck,
                    TrafficShare::pullDataAck}) {
    auto share = interval.share(kind);
    text << " ";
    if (share)
      text << *share;
    else
      text << "-";
  }
  return text.str();
}

// Each line a separate call, as the journal hands them over.
std::vector<std::string> parse(const std::string& text, TrafficReportParser& parser) {
  std::vector<std::string> intervals;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (auto interval = parser.take(line, journalTime)) intervals.push_back(describe(*interval));
  return intervals;
}

std::vector<std::string> parse(const std::string& text) {
  TrafficReportParser parser;
  return parse(text, parser);
}

const std::string head = "##### 2024-05-01 10:00:30 GMT #####\n";
const std::string upstream =
    "### [UPSTREAM] ###\n"
    "# RF packets received by concentrator: 12\n"
    "# CRC_OK: 83.33%, CRC_FAIL: 16.67%, NO_CRC: 0.00%\n"
    "# RF packets forwarded: 10 (230 bytes)\n"
    "# PUSH_DATA datagrams sent: 3 (1234 bytes)\n"
    "# PUSH_DATA acknowledged: 100.00%\n";
const std::string downstream =
    "### [DOWNSTREAM] ###\n"
    "# PULL_DATA sent: 3 (66.67% acknowledged)\n"
    "# PULL_RESP(onse) datagrams received: 1 (145 bytes)\n"
    "# RF packets sent to concentrator: 1 (23 bytes)\n"
    "# TX errors: 0\n";
const std::string end = "##### END #####\n";
const std::string full = "t=1714557630 12 10 3 3 1 1 0 | 83.33 16.67 0 100 66.67";

struct Case {
  const char* what;
  std::string text;
  std::vector<std::string> intervals;
};

}  // namespace

TEST(TrafficReport, reportsAsTheForwarderWritesThem) {
  const std::vector<Case> cases = {
      {"the whole report", head + upstream + downstream + end, {full}},
      {"carriage returns and blanks around lines",
       "  ##### 2024-05-01 10:00:30 GMT #####\r\n" + upstream + downstream + "##### END #####  \r\n",
       {full}},
      {"UTC, or no zone",
       "##### 2024-05-01 10:00:30 UTC #####\n" + upstream + downstream + end + "##### 2024-05-01 10:01:00 #####\n" +
           upstream + downstream + end,
       {full, "t=1714557660 12 10 3 3 1 1 0 | 83.33 16.67 0 100 66.67"}},
      {"a time line that does not read takes the journal's time",
       "##### 2024-13-01 10:00:30 GMT #####\n" + upstream + end + "##### sometime #####\n" + end,
       {"t=1700000000 12 10 3 - - - - | 83.33 16.67 0 100 -", "t=1700000000 - - - - - - - | - - - - -"}},
      {"no downstream block", head + upstream + end, {"t=1714557630 12 10 3 - - - - | 83.33 16.67 0 100 -"}},
      {"upstream disabled",
       head + "### UPSTREAM IS DISABLED!\n" + downstream + end,
       {"t=1714557630 - - - 3 1 1 0 | - - - - 66.67"}},
      {"sections after downstream, and lines builds add",
       head + upstream + "# RF packets received with wrong frequency: 2\n" + downstream +
           "# TX rejected (collision packet): 0.00% (req:0, ok:0, nok:0)\n"
           "### SX1302 Status ###\n# SX1302 counter (INST): 1234\n"
           "### [JIT] ###\n# SX1302 status: 0\n# TX errors: 99\n"
           "### [GPS] ###\n# Valid time reference (age: 1 sec)\n# RF packets received by concentrator: 99\n"
           "### [BEACON] ###\n# BEACON queued: 0\n" +
           end,
       {full}},
      {"other output between report lines",
       head + "INFO: [down] PULL_ACK received in 31 ms\n" + upstream + "JSON up: {\"rxpk\":[{\"tmst\":1}]}\n" +
           downstream + end,
       {full}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.intervals) << c.what;
}

TEST(TrafficReport, reportsCutOffOrSplitAcrossReads) {
  const std::vector<Case> cases = {
      {"cut off by the next report's first line", head + upstream + head + upstream + downstream + end, {full}},
      {"cut off at the end of the text", head + upstream + downstream + end + head + upstream, {full}},
      {"an END with no report open, lines before any report",
       end + upstream + "# TX errors: 5\n" + head + upstream + downstream + end + end,
       {full}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.intervals) << c.what;

  // The parser keeps the report it is in the middle of between reads, at
  // whatever line the journal's read ended.
  const std::string report = head + upstream + downstream + end;
  for (size_t cut = 0; cut <= report.size(); cut = report.find('\n', cut) + 1) {
    TrafficReportParser parser;
    std::vector<std::string> intervals = parse(report.substr(0, cut), parser);
    for (const std::string& later : parse(report.substr(cut), parser)) intervals.push_back(later);
    EXPECT_EQ(intervals, std::vector<std::string>{full}) << "read cut after " << cut << " bytes";
    if (cut == report.size()) break;
  }
}

TEST(TrafficReport, figuresThatDoNotReadAreAbsent) {
  const std::vector<Case> cases = {
      {"garbage lines in a report",
       head +
           "#####\n### [UPSTREAM] ###\n\n#\n# RF packets received by concentrator:\n\x01\xff\xfe garbage\n"
           "# RF packets forwarded: 10 (230 bytes)\n" +
           end,
       {"t=1714557630 - 10 - - - - - | - - - - -"}},
      {"counts past 32 bits, negative or not whole",
       head +
           "### [UPSTREAM] ###\n"
           "# RF packets received by concentrator: 99999999999999999999\n"
           "# RF packets forwarded: 4294967296 (1 bytes)\n"
           "# PUSH_DATA datagrams sent: -3 (1 bytes)\n"
           "### [DOWNSTREAM] ###\n"
           "# PULL_DATA sent: 2.5 (100.00% acknowledged)\n"
           "# PULL_RESP(onse) datagrams received: 12abc\n"
           "# RF packets sent to concentrator: 4294967295 (1 bytes)\n"
           "# TX errors: 0x10\n" +
           end,
       {"t=1714557630 - - - - - 4294967295 - | - - - - -"}},
      {"shares that are not percentages",
       head +
           "### [UPSTREAM] ###\n"
           "# CRC_OK: nan%, CRC_FAIL: 100.01%, NO_CRC: -0.00%\n"
           "# PUSH_DATA acknowledged: 1e3%\n"
           "### [DOWNSTREAM] ###\n"
           "# PULL_DATA sent: 3 (NaN% acknowledged)\n" +
           end,
       {"t=1714557630 - - - 3 - - - | - - - - -"}},
      {"shares at the edges, extra decimals dropped",
       head +
           "### [UPSTREAM] ###\n"
           "# CRC_OK: 100%, CRC_FAIL: 0.009%, NO_CRC: 33.339%\n"
           "# PUSH_DATA acknowledged: 100.00%\n" +
           end,
       {"t=1714557630 - - - - - - - | 100 0 33.33 100 -"}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.intervals) << c.what;
}

}  // namespace nc::test
