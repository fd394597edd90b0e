#include "utils/json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>

#include <nlohmann/json.hpp>

namespace nc {

JsonObject::JsonObject(std::initializer_list<Member> members) {
  for (const Member& member : members) set(member.first, member.second);
}

bool JsonObject::contains(std::string_view key) const { return find(key) != nullptr; }

const JsonValue* JsonObject::find(std::string_view key) const {
  for (const Member& member : members_) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

JsonValue* JsonObject::find(std::string_view key) {
  return const_cast<JsonValue*>(std::as_const(*this).find(key));
}

const JsonValue& JsonObject::at(std::string_view key) const {
  const JsonValue* value = find(key);
  if (value == nullptr) throw JsonAccessError("key not found: " + std::string(key));
  return *value;
}

JsonValue& JsonObject::set(std::string key, JsonValue value) {
  if (JsonValue* existing = find(key)) {
    *existing = std::move(value);
    return *existing;
  }
  members_.emplace_back(std::move(key), std::move(value));
  return members_.back().second;
}

bool JsonObject::operator==(const JsonObject& other) const { return members_ == other.members_; }

template <class T>
const T& JsonValue::holding(const char* kindName) const {
  const T* held = std::get_if<T>(&v_);
  if (held == nullptr) throw JsonAccessError(std::string("JSON value is not ") + kindName);
  return *held;
}

bool JsonValue::asBool() const { return holding<bool>("a boolean"); }
int64_t JsonValue::asInt() const { return holding<int64_t>("an integer"); }
double JsonValue::asFloat() const { return holding<double>("a float"); }
const std::string& JsonValue::asString() const { return holding<std::string>("a string"); }
const JsonArray& JsonValue::asArray() const { return holding<JsonArray>("an array"); }
JsonArray& JsonValue::asArray() { return const_cast<JsonArray&>(std::as_const(*this).asArray()); }
const JsonObject& JsonValue::asObject() const { return holding<JsonObject>("an object"); }
JsonObject& JsonValue::asObject() { return const_cast<JsonObject&>(std::as_const(*this).asObject()); }
const JsonRawNumber& JsonValue::asRawNumber() const { return holding<JsonRawNumber>("a raw number"); }

namespace {

// Number literals beyond double range, found by earlier parse attempts: the
// literal's position among all number literals of the document, and its text.
using RawLiterals = std::map<size_t, std::string>;

// nlohmann's out_of_range error for a literal whose double is not finite.
constexpr int numberOverflowErrorId = 406;

// A number literal that stopped a parse attempt because it overflows a double.
struct OverflowLiteral {
  size_t ordinal;
  size_t offset;
  std::string text;
};

// Only integer literals beyond both int64 and uint64 and literals with a
// fraction or exponent arrive here as doubles, always finite.
JsonValue newFloatOrRaw(double value, const std::string& text) {
  const bool integerLiteral = text.find_first_of(".eE") == std::string::npos;
  const std::string_view mantissa = std::string_view(text).substr(0, text.find_first_of("eE"));
  const bool underflowed = value == 0 && mantissa.find_first_of("123456789") != std::string_view::npos;
  if (integerLiteral || underflowed) return JsonRawNumber{text};
  return value;
}

// Builds the value tree from nlohmann's SAX events.
class TreeBuilder {
 public:
  explicit TreeBuilder(const RawLiterals& rawLiterals) : rawLiterals_(rawLiterals) {}

  bool null() { return add(JsonValue()); }
  bool boolean(bool value) { return add(value); }
  bool number_integer(int64_t value) { return addNumber(value); }
  bool number_unsigned(uint64_t value) {
    if (value > uint64_t(std::numeric_limits<int64_t>::max())) return addNumber(JsonRawNumber{std::to_string(value)});
    return addNumber(int64_t(value));
  }
  bool number_float(double value, const std::string& text) { return addNumber(newFloatOrRaw(value, text)); }
  bool string(std::string& value) { return add(std::move(value)); }
  // Part of the SAX interface; JSON text never produces binary values.
  bool binary(nlohmann::json::binary_t&) { return false; }
  bool key(std::string& key) {
    pendingKey_ = std::move(key);
    return true;
  }
  bool start_object(size_t) { return open(JsonObject()); }
  bool start_array(size_t) { return open(JsonArray()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  bool parse_error(size_t position, const std::string& lastToken, const nlohmann::detail::exception& error);

  JsonValue takeResult() { return std::move(result_); }
  const std::optional<OverflowLiteral>& overflow() const { return overflow_; }
  std::string failureMessage() const;
  const std::optional<size_t>& failurePosition() const { return failurePosition_; }

 private:
  JsonValue& place(JsonValue value);
  bool add(JsonValue value) {
    place(std::move(value));
    return true;
  }
  bool addNumber(JsonValue value);
  bool open(JsonValue container);
  bool close() {
    openContainers_.pop_back();
    return true;
  }

  const RawLiterals& rawLiterals_;
  JsonValue result_;
  // Each pointer stays valid while it is open: only the innermost container
  // grows, and that never moves the containers around it.
  std::vector<JsonValue*> openContainers_;
  std::string pendingKey_;
  size_t numbersSeen_ = 0;
  bool tooDeep_ = false;
  std::string failure_;
  std::optional<size_t> failurePosition_;
  std::optional<OverflowLiteral> overflow_;
};

JsonValue& TreeBuilder::place(JsonValue value) {
  if (openContainers_.empty()) {
    result_ = std::move(value);
    return result_;
  }
  JsonValue& parent = *openContainers_.back();
  if (parent.isArray()) {
    parent.asArray().push_back(std::move(value));
    return parent.asArray().back();
  }
  return parent.asObject().set(std::move(pendingKey_), std::move(value));
}

bool TreeBuilder::addNumber(JsonValue value) {
  const auto raw = rawLiterals_.find(numbersSeen_++);
  return add(raw == rawLiterals_.end() ? std::move(value) : JsonValue(JsonRawNumber{raw->second}));
}

bool TreeBuilder::open(JsonValue container) {
  if (openContainers_.size() == maxJsonDepth) {
    tooDeep_ = true;
    return false;
  }
  openContainers_.push_back(&place(std::move(container)));
  return true;
}

bool TreeBuilder::parse_error(size_t position, const std::string& lastToken, const nlohmann::detail::exception& error) {
  // The position is the offset just past the offending token.
  if (error.id == numberOverflowErrorId && lastToken.size() <= position) {
    overflow_ = OverflowLiteral{numbersSeen_, position - lastToken.size(), lastToken};
  }
  std::string what = error.what();
  const size_t prefixEnd = what.find("] ");
  if (prefixEnd != std::string::npos) what.erase(0, prefixEnd + 2);
  // The token echo would show a placeholder after a second pass, and copies
  // untrusted bytes into the service's output; line and column remain.
  const std::string echo = "; last read: '" + lastToken + "'";
  if (const size_t echoAt = what.find(echo); echoAt != std::string::npos) what.erase(echoAt, echo.size());
  failure_ = "Invalid JSON: " + what;
  failurePosition_ = position;
  return false;
}

std::string TreeBuilder::failureMessage() const {
  if (tooDeep_) return "Invalid JSON: nesting deeper than " + std::to_string(maxJsonDepth) + " levels";
  return failure_;
}

// Line and column counted as the parser counts them in its message: a line
// ends after its newline, where the next line's column 0 begins.
JsonParseError parseFailure(const TreeBuilder& builder, std::string_view input) {
  if (!builder.failurePosition()) return JsonParseError(builder.failureMessage());
  const std::string_view read = input.substr(0, std::min(*builder.failurePosition(), input.size()));
  const size_t lineStart = read.rfind('\n') == std::string_view::npos ? 0 : read.rfind('\n') + 1;
  const size_t line = 1 + static_cast<size_t>(std::count(read.begin(), read.end(), '\n'));
  return JsonParseError(builder.failureMessage(), line, *builder.failurePosition() - lineStart);
}

}  // namespace

// nlohmann's parser gives up on a literal whose double is not finite (1e400),
// but such a literal must survive as RawNumber. Each one costs one more pass:
// the literal is noted by its position among the number literals, replaced by
// a placeholder of the same length so that later error positions still match
// the caller's text, and the text is parsed again.
JsonValue parseJson(std::string_view text) {
  RawLiterals rawLiterals;
  std::string patched;
  std::string_view input = text;
  while (true) {
    TreeBuilder builder(rawLiterals);
    if (nlohmann::json::sax_parse(input, &builder, nlohmann::json::input_format_t::json, true, true)) {
      return builder.takeResult();
    }
    const std::optional<OverflowLiteral>& overflow = builder.overflow();
    const bool located = overflow && overflow->offset + overflow->text.size() <= input.size() &&
                         input.substr(overflow->offset, overflow->text.size()) == overflow->text;
    if (!located) throw parseFailure(builder, input);
    if (rawLiterals.size() == maxOutOfRangeLiterals) {
      throw JsonParseError("Invalid JSON: more than " + std::to_string(maxOutOfRangeLiterals) +
                           " numbers beyond double range");
    }
    if (patched.empty()) patched = text;
    std::string zero(overflow->text.size(), ' ');
    zero[0] = '0';
    patched.replace(overflow->offset, overflow->text.size(), zero);
    input = patched;
    rawLiterals.emplace(overflow->ordinal, overflow->text);
  }
}

namespace {

bool needsEscape(char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; }

void appendEscaped(std::string& out, char c) {
  switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    case '\r': out += "\\r"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    // Lower case, unlike the other control escapes: files written by
    // earlier versions must come out of a rewrite byte for byte the same.
    case '\v': out += "\\u000b"; break;
    default: {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      out += escaped;
    }
  }
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  // Runs of characters that need no escape go in whole: appending character by
  // character cost more than the rest of a small reply's writing.
  for (;;) {
    size_t plain = 0;
    while (plain < text.size() && !needsEscape(text[plain])) ++plain;
    out.append(text.substr(0, plain));
    if (plain == text.size()) break;
    appendEscaped(out, text[plain]);
    text.remove_prefix(plain + 1);
  }
  out += '"';
}

void appendFloat(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // to_chars with a precision is printf "%.16g", without depending on the
  // process locale's decimal point. Sixteen digits are the form files have
  // always been written in, but they cannot tell every pair of doubles apart
  // (0.30000000000000004 would come back as 0.3); seventeen always can.
  char text[32];
  const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 16).ptr;
  double readBack = 0;
  std::from_chars(text, end, readBack);
  if (readBack != value) end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17).ptr;
  const std::string_view written(text, size_t(end - text));
  out += written;
  // Keeps a float a float when the file is read back (-166.0, not -166).
  if (written.find_first_of(".e") == std::string_view::npos) out += ".0";
}

void appendInt(std::string& out, int64_t value) {
  char text[24];
  const char* end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, size_t(end - text));
}

class JsonWriter {
 public:
  explicit JsonWriter(bool pretty) : pretty_(pretty) {}

  void write(const JsonValue& value, size_t level);
  std::string take() { return std::move(out_); }

 private:
  template <class Items, class WriteItem>
  void writeContainer(char open, char close, const Items& items, size_t level, WriteItem writeItem);
  void breakLine(size_t level);

  bool pretty_;
  std::string out_;
};

void JsonWriter::write(const JsonValue& value, size_t level) {
  switch (value.kind()) {
    case JsonValue::Kind::Null: out_ += "null"; break;
    case JsonValue::Kind::Bool: out_ += value.asBool() ? "true" : "false"; break;
    case JsonValue::Kind::Int: appendInt(out_, value.asInt()); break;
    case JsonValue::Kind::Float: appendFloat(out_, value.asFloat()); break;
    case JsonValue::Kind::String: appendQuoted(out_, value.asString()); break;
    case JsonValue::Kind::RawNumber: out_ += value.asRawNumber().text; break;
    case JsonValue::Kind::Array:
      writeContainer('[', ']', value.asArray(), level, [&](const JsonValue& item) { write(item, level + 1); });
      break;
    case JsonValue::Kind::Object:
      writeContainer('{', '}', value.asObject(), level, [&](const JsonObject::Member& member) {
        appendQuoted(out_, member.first);
        out_ += pretty_ ? ": " : ":";
        write(member.second, level + 1);
      });
      break;
  }
}

template <class Items, class WriteItem>
void JsonWriter::writeContainer(char open, char close, const Items& items, size_t level, WriteItem writeItem) {
  out_ += open;
  bool first = true;
  for (const auto& item : items) {
    if (!first) out_ += ',';
    first = false;
    breakLine(level + 1);
    writeItem(item);
  }
  if (!first) breakLine(level);
  out_ += close;
}

void JsonWriter::breakLine(size_t level) {
  if (!pretty_) return;
  out_ += '\n';
  out_.append(2 * level, ' ');
}

std::string writeJson(const JsonValue& value, bool pretty) {
  JsonWriter writer(pretty);
  writer.write(value, 0);
  return writer.take();
}

}  // namespace

std::string toCompactJson(const JsonValue& value) { return writeJson(value, false); }

std::string toPrettyJson(const JsonValue& value) { return writeJson(value, true); }

}  // namespace nc
