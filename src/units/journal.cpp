#include "src/units/journal.h"

#include <charconv>

#include "utils/json.h"

namespace nc {
namespace {

// The fields an entry needs: journalctl's JSON carries the cursor and the
// times anyway, and every other field would only add bytes to read. --all
// prints a message over 4096 bytes (a forwarder's JSON line of many packets)
// instead of null.
constexpr const char* journalOptions = "--output=json --output-fields=MESSAGE,PRIORITY --all --no-pager --quiet";

std::optional<int64_t> digitsOf(const JsonValue* value) {
  if (value == nullptr || !value->isString()) return std::nullopt;
  const std::string& text = value->asString();
  int64_t number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// The length of the well-formed UTF-8 sequence at the start of `bytes`, 0 if
// there is none.
size_t utf8SequenceLength(std::string_view bytes) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  const size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || bytes.size() < length) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F)) return 0;
  if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) return 0;
  return length;
}

// journalctl gives a message that is not printable UTF-8 as an array of its
// bytes. Bytes that are no UTF-8 become U+FFFD, so that the text can travel
// in a JSON reply.
std::string textOfBytes(const JsonArray& numbers) {
  std::string bytes;
  for (const JsonValue& number : numbers)
    if (number.isInt()) bytes += static_cast<char>(number.asInt() & 0xFF);
  std::string text;
  for (std::string_view rest = bytes; !rest.empty();) {
    const size_t length = utf8SequenceLength(rest);
    text += length == 0 ? std::string_view("\xEF\xBF\xBD") : rest.substr(0, length);
    rest.remove_prefix(length == 0 ? 1 : length);
  }
  return text;
}

std::string messageOf(const JsonValue* value) {
  if (value == nullptr) return {};
  if (value->isString()) return value->asString();
  if (value->isArray()) return textOfBytes(value->asArray());
  return {};
}

std::string commandFor(const JournalQuery& query) {
  std::string line = "journalctl --unit=" + shellQuote(query.unit) + " " + journalOptions;
  if (query.afterCursor) line += " --after-cursor=" + shellQuote(*query.afterCursor);
  if (query.lines) line += " --lines=" + std::to_string(*query.lines);
  if (query.maxAge && !query.afterCursor) line += " --since=-" + std::to_string(query.maxAge->count()) + "s";
  return line;
}

// Cuts journalctl's output into lines, hands over the entries, and keeps the
// first other line, which says why journalctl failed when it did.
class EntrySplitter {
 public:
  EntrySplitter(size_t maxBytes, std::function<void(JournalEntry&&)> onEntry)
      : maxBytes_(maxBytes), onEntry_(std::move(onEntry)) {}

  // False once the byte bound is reached.
  bool take(std::string_view piece) {
    piece = piece.substr(0, maxBytes_ - bytes_);
    bytes_ += piece.size();
    for (size_t end; (end = piece.find('\n')) != std::string_view::npos; piece.remove_prefix(end + 1)) {
      append(piece.substr(0, end));
      endLine();
    }
    append(piece);
    return bytes_ < maxBytes_;
  }

  const std::string& otherLine() const { return otherLine_; }

 private:
  void append(std::string_view part) {
    overlong_ = overlong_ || pending_.size() + part.size() > maxJournalLineBytes;
    if (overlong_)
      pending_.clear();
    else
      pending_.append(part);
  }

  void endLine() {
    if (overlong_) {
      overlong_ = false;
      return;
    }
    if (auto entry = parseJournalEntry(pending_))
      onEntry_(std::move(*entry));
    else if (otherLine_.empty())
      otherLine_ = firstLineOf(pending_);
    pending_.clear();
  }

  size_t maxBytes_;
  size_t bytes_ = 0;
  std::function<void(JournalEntry&&)> onEntry_;
  std::string pending_;
  bool overlong_ = false;
  std::string otherLine_;
};

std::string failureOf(const ChildEnd& end, const std::string& otherLine, const JournalLimits& limits) {
  if (end.timedOut)
    return "journalctl did not finish within " + std::to_string(limits.deadline.timeout.count()) + " ms";
  if (end.outputRefused || end.exitCode == 0) return {};
  if (!otherLine.empty()) return otherLine;
  return "journalctl ended with status " + std::to_string(end.exitCode);
}

}  // namespace

std::optional<JournalEntry> parseJournalEntry(std::string_view line) {
  if (line.empty() || line.front() != '{') return std::nullopt;
  JsonValue parsed;
  try {
    parsed = parseJson(line);
  } catch (const JsonParseError&) {
    return std::nullopt;
  }
  if (!parsed.isObject()) return std::nullopt;
  const JsonObject& fields = parsed.asObject();
  const JsonValue* cursor = fields.find("__CURSOR");
  const std::optional<int64_t> time = digitsOf(fields.find("__REALTIME_TIMESTAMP"));
  if (cursor == nullptr || !cursor->isString() || cursor->asString().empty() || !time) return std::nullopt;
  JournalEntry entry{cursor->asString(), *time, std::nullopt, messageOf(fields.find("MESSAGE"))};
  if (auto priority = digitsOf(fields.find("PRIORITY")); priority && *priority >= 0 && *priority <= 7)
    entry.priority = static_cast<int>(*priority);
  return entry;
}

asio::awaitable<JournalRead> readJournal(JournalQuery query, JournalLimits limits,
                                         std::function<void(JournalEntry&&)> onEntry) {
  EntrySplitter splitter(limits.maxBytes, std::move(onEntry));
  const ChildEnd end = co_await runChild(commandFor(query), limits.deadline,
                                         [&splitter](std::string_view piece) { return splitter.take(piece); });
  co_return JournalRead{end.timedOut || end.outputRefused, failureOf(end, splitter.otherLine(), limits)};
}

asio::awaitable<UnitLog> readUnitLog(std::string unit, std::optional<std::string> afterCursor, int64_t lines) {
  UnitLog log;
  const JournalLimits limits{maxLogReadBytes, {logReadTimeout, std::chrono::seconds(1)}};
  JournalQuery query{std::move(unit), std::move(afterCursor), lines, std::nullopt};
  const bool following = query.afterCursor.has_value();
  const JournalRead read = co_await readJournal(
      std::move(query), limits, [&log](JournalEntry&& entry) { log.entries.push_back(std::move(entry)); });
  // Without a cursor the lines are the newest; a read cut short misses the
  // newest of them, which a read after its last cursor brings.
  log.more = read.cut || (following && static_cast<int64_t>(log.entries.size()) >= lines);
  log.failure = read.failure;
  co_return log;
}

}  // namespace nc
