// JSON value tree with insertion-ordered objects, a comment-skipping parser,
// and the compact and 2-space pretty writers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace nc {

class JsonValue;

// Raised by parseJson for text that is not one JSON document. The line and
// column (both from 1; column 0: the line's start) are where the parser
// stopped, and 0 when it stopped at no place in the text (nesting too deep).
class JsonParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  JsonParseError(const std::string& message, size_t line, size_t column)
      : std::runtime_error(message), line_(line), column_(column) {}
  size_t line() const { return line_; }
  size_t column() const { return column_; }

 private:
  size_t line_ = 0;
  size_t column_ = 0;
};

// Raised when a value is read as a kind it does not hold, or a missing key is
// read with at(). The message of a missing key is "key not found: " + key.
class JsonAccessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A number literal that the parser could not hold as Int or Float without
// changing it, kept as written and written back unchanged.
struct JsonRawNumber {
  std::string text;
  bool operator==(const JsonRawNumber&) const = default;
};

// Object members in insertion order. Setting an existing key replaces its value
// in place, so a key keeps the position where it was first set.
class JsonObject {
 public:
  using Member = std::pair<std::string, JsonValue>;

  JsonObject() = default;
  JsonObject(std::initializer_list<Member> members);

  bool contains(std::string_view key) const;
  const JsonValue* find(std::string_view key) const;
  JsonValue* find(std::string_view key);
  const JsonValue& at(std::string_view key) const;  // JsonAccessError when absent
  // Returns the stored value, so a caller can keep filling it in place.
  JsonValue& set(std::string key, JsonValue value);
  // Defined below JsonValue: clang instantiates the vector's members here,
  // where Member's JsonValue is still incomplete.
  size_t size() const;
  bool empty() const;

  std::vector<Member>::const_iterator begin() const { return members_.begin(); }
  std::vector<Member>::const_iterator end() const { return members_.end(); }

  // Member order counts: two objects that hold the same members in another
  // order are written out differently, so they are not equal.
  bool operator==(const JsonObject& other) const;

 private:
  std::vector<Member> members_;
};

using JsonArray = std::vector<JsonValue>;

class JsonValue {
 public:
  enum class Kind { Null, Bool, Int, Float, String, Array, Object, RawNumber };

  JsonValue() = default;  // null
  JsonValue(std::nullptr_t) {}
  JsonValue(bool b) : v_(b) {}
  JsonValue(int i) : v_(int64_t{i}) {}
  JsonValue(int64_t i) : v_(i) {}
  JsonValue(double d) : v_(d) {}
  JsonValue(const char* s) : v_(std::string(s)) {}
  JsonValue(std::string s) : v_(std::move(s)) {}
  JsonValue(std::string_view s) : v_(std::string(s)) {}
  JsonValue(JsonArray a) : v_(std::move(a)) {}
  JsonValue(JsonObject o) : v_(std::move(o)) {}
  JsonValue(JsonRawNumber r) : v_(std::move(r)) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isBool() const { return kind() == Kind::Bool; }
  bool isInt() const { return kind() == Kind::Int; }
  bool isFloat() const { return kind() == Kind::Float; }
  bool isString() const { return kind() == Kind::String; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isObject() const { return kind() == Kind::Object; }
  bool isRawNumber() const { return kind() == Kind::RawNumber; }

  // Typed access; each raises JsonAccessError when the value holds another kind.
  bool asBool() const;
  int64_t asInt() const;
  double asFloat() const;
  const std::string& asString() const;
  const JsonArray& asArray() const;
  JsonArray& asArray();
  const JsonObject& asObject() const;
  JsonObject& asObject();
  const JsonRawNumber& asRawNumber() const;

  bool operator==(const JsonValue&) const = default;

 private:
  template <class T>
  const T& holding(const char* kindName) const;

  std::variant<std::monostate, bool, int64_t, double, std::string, JsonArray, JsonObject, JsonRawNumber> v_;
};

inline size_t JsonObject::size() const { return members_.size(); }
inline bool JsonObject::empty() const { return members_.empty(); }

// Deepest nesting of arrays and objects that parseJson accepts. The writers,
// the equality and the destructor walk the tree recursively, so a hostile
// document nested a million levels deep would otherwise overflow the stack.
inline constexpr size_t maxJsonDepth = 512;

// Most number literals beyond double range (1e400) that parseJson accepts in
// one document. Each costs the parser one more pass over the text, so a body
// made of thousands would hold the service's one thread for seconds; real
// documents hold none.
inline constexpr size_t maxOutOfRangeLiterals = 16;

// Parses one UTF-8 JSON document. White space, `//` line comments and `/* */`
// block comments are skipped. An integer literal that fits int64 becomes Int;
// a literal with a fraction or exponent becomes Float when a double holds its
// magnitude. Every other number literal (integers beyond int64, magnitudes
// beyond or below double range) becomes RawNumber with its exact text, so it
// is written back unchanged. In an object a repeated key keeps its first
// position and takes its last value. Nesting deeper than maxJsonDepth and
// more than maxOutOfRangeLiterals literals beyond double range are refused.
// Raises JsonParseError.
JsonValue parseJson(std::string_view text);

// Both writers share one string escaping and one number form. A Float that is
// not finite (only code can make one; the parser never does) is written as
// null, because JSON has no literal for it.

// No spaces or line breaks: {"a":1,"b":[true,null]}
std::string toCompactJson(const JsonValue& value);

// Two-space indentation, no trailing line break; empty containers as {} and [].
std::string toPrettyJson(const JsonValue& value);

}  // namespace nc
