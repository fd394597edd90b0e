#include "src/forwarder/traffic_report.h"

#include <charconv>
#include <ctime>
#include <utility>

namespace nc {
namespace {

constexpr uint16_t wholeInHundredths = 100 * 100;

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view blank = " \t\r";
  const size_t first = text.find_first_not_of(blank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blank) + 1 - first);
}

bool takePrefix(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// A count at the start of `text`, taken off it: digits that fit 32 bits and
// end the text or a word. A sign, a fraction or an overflow reads as nothing.
std::optional<uint32_t> takeCount(std::string_view& text) {
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  const size_t length = static_cast<size_t>(end - text.data());
  if (error != std::errc() || (length < text.size() && text[length] != ' ')) return std::nullopt;
  text.remove_prefix(length);
  return value;
}

// "83.33%" at the start of `text`, in hundredths of a percent, taken off it.
// Digits beyond the second decimal are dropped; over 100 % reads as nothing.
std::optional<uint16_t> takeShare(std::string_view& text) {
  size_t digits = 0;
  uint32_t hundredths = 0;
  while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
    hundredths = hundredths * 10 + static_cast<uint32_t>(text[digits++] - '0');
  if (digits == 0 || digits == 4) return std::nullopt;
  hundredths *= 100;
  size_t at = digits;
  if (at < text.size() && text[at] == '.') {
    uint32_t scale = 10;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
      hundredths += static_cast<uint32_t>(text[at] - '0') * scale;
  }
  if (at >= text.size() || text[at] != '%' || hundredths > wholeInHundredths) return std::nullopt;
  text.remove_prefix(at + 1);
  return static_cast<uint16_t>(hundredths);
}

void readCount(std::string_view rest, TrafficInterval& report, TrafficCount kind) {
  if (auto count = takeCount(rest)) report.setCount(kind, *count);
}

void readShare(std::string_view rest, TrafficInterval& report, TrafficShare kind) {
  if (auto share = takeShare(rest)) report.setShare(kind, *share);
}

// "83.33%, CRC_FAIL: 16.67%, NO_CRC: 0.00%" after "CRC_OK: ": each share on its own.
void readCrcShares(std::string_view rest, TrafficInterval& report) {
  readShare(rest, report, TrafficShare::crcOk);
  constexpr std::pair<std::string_view, TrafficShare> others[] = {{"CRC_FAIL: ", TrafficShare::crcFail},
                                                                  {"NO_CRC: ", TrafficShare::noCrc}};
  for (const auto& [label, kind] : others) {
    const size_t at = rest.find(label);
    if (at != std::string_view::npos) readShare(rest.substr(at + label.size()), report, kind);
  }
}

// "3 (100.00% acknowledged)"
void readPullData(std::string_view rest, TrafficInterval& report) {
  const std::optional<uint32_t> sent = takeCount(rest);
  if (!sent) return;
  report.setCount(TrafficCount::pullDataSent, *sent);
  if (takePrefix(rest, " (")) readShare(rest, report, TrafficShare::pullDataAck);
}

using LineReader = void (*)(std::string_view rest, TrafficInterval& report);

template <TrafficCount kind>
void countOf(std::string_view rest, TrafficInterval& report) {
  readCount(rest, report, kind);
}

template <TrafficShare kind>
void shareOf(std::string_view rest, TrafficInterval& report) {
  readShare(rest, report, kind);
}

struct FigureLine {
  bool upstream;  // else downstream
  std::string_view prefix;
  LineReader read;
};

constexpr FigureLine figureLines[] = {
    {true, "# RF packets received by concentrator: ", countOf<TrafficCount::received>},
    {true, "# CRC_OK: ", readCrcShares},
    {true, "# RF packets forwarded: ", countOf<TrafficCount::forwarded>},
    {true, "# PUSH_DATA datagrams sent: ", countOf<TrafficCount::pushDataSent>},
    {true, "# PUSH_DATA acknowledged: ", shareOf<TrafficShare::pushDataAck>},
    {false, "# PULL_DATA sent: ", readPullData},
    {false, "# PULL_RESP(onse) datagrams received: ", countOf<TrafficCount::downlinksReceived>},
    {false, "# RF packets sent to concentrator: ", countOf<TrafficCount::downlinksSent>},
    {false, "# TX errors: ", countOf<TrafficCount::txErrors>},
};

bool isReportHead(std::string_view line) {
  return line.size() > 12 && line.starts_with("##### ") && line.ends_with(" #####");
}

size_t bitOf(TrafficCount kind) { return static_cast<size_t>(kind); }
size_t bitOf(TrafficShare kind) { return trafficCountKinds + static_cast<size_t>(kind); }

bool allDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

int numberOf(std::string_view digits) {
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

}  // namespace

std::optional<uint32_t> TrafficInterval::count(TrafficCount kind) const {
  if (!(present_ & (1u << bitOf(kind)))) return std::nullopt;
  return counts_[static_cast<size_t>(kind)];
}

std::optional<double> TrafficInterval::share(TrafficShare kind) const {
  if (!(present_ & (1u << bitOf(kind)))) return std::nullopt;
  return hundredths_[static_cast<size_t>(kind)] / 100.0;
}

void TrafficInterval::setCount(TrafficCount kind, uint32_t value) {
  counts_[static_cast<size_t>(kind)] = value;
  present_ |= static_cast<uint16_t>(1u << bitOf(kind));
}

void TrafficInterval::setShare(TrafficShare kind, uint16_t hundredths) {
  hundredths_[static_cast<size_t>(kind)] = hundredths;
  present_ |= static_cast<uint16_t>(1u << bitOf(kind));
}

std::optional<int64_t> reportTimeOf(std::string_view text) {
  if (text.ends_with(" GMT") || text.ends_with(" UTC")) text.remove_suffix(4);
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  const std::string_view parts[] = {text.substr(0, 4),  text.substr(5, 2),  text.substr(8, 2),
                                    text.substr(11, 2), text.substr(14, 2), text.substr(17, 2)};
  for (std::string_view part : parts)
    if (!allDigits(part)) return std::nullopt;
  std::tm fields{};
  fields.tm_year = numberOf(parts[0]) - 1900;
  fields.tm_mon = numberOf(parts[1]) - 1;
  fields.tm_mday = numberOf(parts[2]);
  fields.tm_hour = numberOf(parts[3]);
  fields.tm_min = numberOf(parts[4]);
  fields.tm_sec = numberOf(parts[5]);
  if (fields.tm_mon > 11 || fields.tm_mday < 1 || fields.tm_mday > 31 || fields.tm_hour > 23 || fields.tm_min > 59 ||
      fields.tm_sec > 60)
    return std::nullopt;
  return static_cast<int64_t>(timegm(&fields));
}

std::optional<TrafficInterval> TrafficReportParser::take(std::string_view line, int64_t journalTime) {
  line = trimmed(line);
  if (line == "##### END #####") {
    std::optional<TrafficInterval> done = std::move(report_);
    report_.reset();
    return done;
  }
  if (isReportHead(line)) {
    report_.emplace();
    report_->time = reportTimeOf(line.substr(6, line.size() - 12)).value_or(journalTime);
    section_ = Section::head;
    return std::nullopt;
  }
  if (!report_) return std::nullopt;
  if (line.starts_with("###")) {
    section_ = line == "### [UPSTREAM] ###"     ? Section::upstream
               : line == "### [DOWNSTREAM] ###" ? Section::downstream
                                                : Section::other;
    return std::nullopt;
  }
  if (section_ != Section::upstream && section_ != Section::downstream) return std::nullopt;
  std::string_view rest = line;
  for (const FigureLine& figure : figureLines) {
    if (figure.upstream != (section_ == Section::upstream) || !takePrefix(rest, figure.prefix)) continue;
    figure.read(rest, *report_);
    break;
  }
  return std::nullopt;
}

}  // namespace nc
