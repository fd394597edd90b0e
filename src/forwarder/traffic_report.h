// The packet forwarder's statistics report, which it writes to standard output
// every gateway_conf.stat_interval seconds and systemd keeps in the journal:
//
//   ##### 2024-05-01 10:00:30 GMT #####
//   ### [UPSTREAM] ###
//   # RF packets received by concentrator: 12
//   # CRC_OK: 83.33%, CRC_FAIL: 16.67%, NO_CRC: 0.00%
//   # RF packets forwarded: 10 (230 bytes)
//   # PUSH_DATA datagrams sent: 3 (1234 bytes)
//   # PUSH_DATA acknowledged: 100.00%
//   ### [DOWNSTREAM] ###
//   # PULL_DATA sent: 3 (100.00% acknowledged)
//   # PULL_RESP(onse) datagrams received: 1 (145 bytes)
//   # RF packets sent to concentrator: 1 (23 bytes)
//   # TX errors: 0
//   ##### END #####
//
// Builds differ: some add lines or sections ([GPS], [BEACON], [JIT]), omit the
// downstream block, or print "### UPSTREAM IS DISABLED!". A figure that is not
// there, or does not read as one, is absent rather than zero.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace nc {

// Packet and datagram counts of one report.
enum class TrafficCount : uint8_t {
  received,           // RF packets received by concentrator
  forwarded,          // RF packets forwarded
  pushDataSent,       // PUSH_DATA datagrams sent
  pullDataSent,       // PULL_DATA sent
  downlinksReceived,  // PULL_RESP datagrams received
  downlinksSent,      // RF packets sent to concentrator
  txErrors,           // TX errors
};
inline constexpr size_t trafficCountKinds = 7;

// Shares of one report, in percent.
enum class TrafficShare : uint8_t { crcOk, crcFail, noCrc, pushDataAck, pullDataAck };
inline constexpr size_t trafficShareKinds = 5;

// One report's figures. Kept small and flat: the window holds a day of them.
class TrafficInterval {
 public:
  int64_t time = 0;  // Unix seconds: the report's own time line, else when the journal took its first line

  std::optional<uint32_t> count(TrafficCount kind) const;
  // Percent, to the hundredth the report prints.
  std::optional<double> share(TrafficShare kind) const;
  void setCount(TrafficCount kind, uint32_t value);
  void setShare(TrafficShare kind, uint16_t hundredths);

 private:
  std::array<uint32_t, trafficCountKinds> counts_{};
  std::array<uint16_t, trafficShareKinds> hundredths_{};  // 1/100 %
  uint16_t present_ = 0;                                  // one bit per figure, counts first
};

// Reads the forwarder's output line by line. It keeps the report it is in the
// middle of between calls, so a report split across journal reads still
// parses. A report counts once its END line comes; one cut off by the next
// report's first line is dropped. Lines outside a report, and lines it does
// not know, are ignored.
class TrafficReportParser {
 public:
  // `line` without its line break; `journalTime` (Unix seconds) stands in for
  // the report's time when its first line does not give one. The interval
  // when `line` ends a report.
  std::optional<TrafficInterval> take(std::string_view line, int64_t journalTime);

 private:
  enum class Section : uint8_t { head, upstream, downstream, other };
  std::optional<TrafficInterval> report_;
  Section section_ = Section::head;
};

// "2024-05-01 10:00:30", optionally followed by " GMT" or " UTC", as Unix seconds.
std::optional<int64_t> reportTimeOf(std::string_view text);

}  // namespace nc
