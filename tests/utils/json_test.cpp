#include "utils/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "support/expect_throw_msg.h"
#include "support/test_support.h"

namespace nc {
namespace {

std::string roundTrip(std::string_view text) { return toCompactJson(parseJson(text)); }

std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

}  // namespace

TEST(Json, numberLiteralsKeepTheirKindAndValue) {
  EXPECT_EQ(parseJson("9223372036854775807"), JsonValue(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(parseJson("-9223372036854775808"), JsonValue(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(parseJson("0"), JsonValue(0));
  EXPECT_EQ(parseJson("-166.0"), JsonValue(-166.0));
  EXPECT_EQ(parseJson("1E2"), JsonValue(100.0));
  EXPECT_EQ(parseJson("0e-999"), JsonValue(0.0));
  for (const char* raw : {"9223372036854775808", "18446744073709551615", "18446744073709551616",
                          "-9223372036854775809", "1e400", "-1E+999", "1e-400", "-2.5e-999"}) {
    EXPECT_EQ(parseJson(raw), JsonValue(JsonRawNumber{raw})) << raw;
    EXPECT_EQ(roundTrip(raw), raw);
  }
}

TEST(Json, literalsBeyondDoubleRangeSurviveAnywhereInTheDocument) {
  const std::string text = R"({"s":"1e400","a":[1,1e400,{"b":-1e999}],"c":2.5,"d":1e309})";
  const JsonValue value = parseJson(text);
  EXPECT_EQ(toCompactJson(value), text);
  EXPECT_EQ(value.asObject().at("a").asArray()[0], JsonValue(1));
  EXPECT_EQ(value.asObject().at("c"), JsonValue(2.5));
  EXPECT_EQ(value.asObject().at("s"), JsonValue("1e400"));
  // A later error is still reported at its place in the caller's text.
  EXPECT_THROW_MSG(parseJson("[1e400, 1e400, x]"), JsonParseError,
                   "Invalid JSON: parse error at line 1, column 16: syntax error while parsing value - invalid literal");
}

TEST(Json, literalsBeyondDoubleRangeAreBoundedInNumber) {
  std::string text = "[1e400";
  for (size_t i = 1; i < maxOutOfRangeLiterals; ++i) text += ",-1e400";
  EXPECT_EQ(roundTrip(text + ",1]"), text + ",1]");
  EXPECT_THROW_MSG(parseJson(text + ",1e400]"), JsonParseError, "Invalid JSON: more than 16 numbers beyond double range");
}

// The form files were always written in: printf "%.16g", with ".0" when that
// reads as an integer.
std::string sixteenDigitForm(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16g", value);
  std::string form = text;
  if (form.find_first_of(".e") == std::string::npos) form += ".0";
  return form;
}

TEST(Json, floatsExactInSixteenDigitsAreWrittenAsBefore) {
  for (double value : {-166.0, 1.0, 0.1, 0.3, 1e16, 1.5e-7, 2.5e-308, 867.1, 5e-324, 123456789.1234568, 0.1 + 0.7}) {
    ASSERT_EQ(std::strtod(sixteenDigitForm(value).c_str(), nullptr), value) << "not exact in 16 digits";
    EXPECT_EQ(toCompactJson(value), sixteenDigitForm(value));
  }
  EXPECT_EQ(toCompactJson(-166.0), "-166.0");
  EXPECT_EQ(toCompactJson(1e16), "1e+16");
  EXPECT_EQ(toCompactJson(5e-324), "4.940656458412465e-324");
  EXPECT_EQ(toCompactJson(-0.0), "-0.0");
  EXPECT_EQ(toCompactJson(JsonArray{std::nan(""), std::numeric_limits<double>::infinity()}), "[null,null]");
}

TEST(Json, floatsThatNeedSeventeenDigitsKeepThem) {
  EXPECT_EQ(toCompactJson(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(toCompactJson(123456789.12345678), "123456789.12345678");
  EXPECT_EQ(toCompactJson(123456789012345678.0), "1.2345678901234568e+17");
  // Seventeen digits without an exponent still read back as a float.
  EXPECT_EQ(toCompactJson(12345678901234568.0), "12345678901234568.0");
  EXPECT_EQ(toCompactJson(std::nextafter(1.0, 2.0)), "1.0000000000000002");
  // Sixteen digits would round the largest double up beyond double range.
  EXPECT_EQ(toCompactJson(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
}

TEST(Json, everyFloatReadsBackAsItself) {
  // Bit patterns spread over the whole range, subnormals included.
  uint64_t bits = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 50000; ++i) {
    bits ^= bits << 13, bits ^= bits >> 7, bits ^= bits << 17;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    const std::string written = toCompactJson(value);
    ASSERT_EQ(parseJson(written), JsonValue(value)) << written;
    if (std::strtod(sixteenDigitForm(value).c_str(), nullptr) == value) {
      ASSERT_EQ(written, sixteenDigitForm(value));
    }
  }
}

TEST(Json, stringEscapes) {
  EXPECT_EQ(toCompactJson("\"\\/\n\t\r\b\f\v\x01\x1f\x7f"), R"("\"\\/\n\t\r\b\f\u000b\u0001\u001F)" "\x7f\"");
  EXPECT_EQ(toCompactJson("h\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), "\"h\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"");
  EXPECT_EQ(parseJson(R"("\u0041\/\u00e9\ud83d\ude00\u000B\"")"), JsonValue("A/\xc3\xa9\xf0\x9f\x98\x80\v\""));
  std::string everyAscii;
  for (int c = 0; c < 128; ++c) everyAscii += char(c);
  EXPECT_EQ(parseJson(toCompactJson(everyAscii)), JsonValue(everyAscii));
  EXPECT_EQ(parseJson(toPrettyJson(JsonObject{{everyAscii, everyAscii}})), JsonValue(JsonObject{{everyAscii, everyAscii}}));
}

TEST(Json, commentsAreSkipped) {
  EXPECT_EQ(roundTrip("// head\n{/* a */\"a\"/**/:/*\n*/1 // tail\n,\"b\":[2/*,3*/]}// end"), R"({"a":1,"b":[2]})");
  EXPECT_EQ(roundTrip("\"/* not a comment */ // nor this\""), "\"/* not a comment */ // nor this\"");
  EXPECT_THROW_MSG(parseJson("1 /* open"), JsonParseError,
                   "Invalid JSON: parse error at line 1, column 10: syntax error while parsing value - "
                   "invalid comment; missing closing '*/'; expected end of input");
}

TEST(Json, readsTheForwarderFileAndRewritesItWithoutComments) {
  const JsonValue config = parseJson(test::readTestData("semtech-eu868-global_conf.json"));
  const JsonObject& sx1301 = config.asObject().at("SX1301_conf").asObject();
  EXPECT_EQ(sx1301.begin()->first, "lorawan_public");
  EXPECT_EQ(sx1301.at("clksrc"), JsonValue(1));
  EXPECT_EQ(sx1301.at("radio_0").asObject().at("rssi_offset"), JsonValue(-166.0));
  EXPECT_EQ(sx1301.at("radio_0").asObject().at("freq"), JsonValue(867500000));
  EXPECT_EQ(config.asObject().at("gateway_conf").asObject().at("gateway_ID"), JsonValue("AA555A0000000000"));
  const std::string pretty = toPrettyJson(config);
  EXPECT_NE(pretty.find("\n      \"rssi_offset\": -166.0,\n"), std::string::npos);
  EXPECT_EQ(pretty.find("/*"), std::string::npos);
  EXPECT_EQ(parseJson(pretty), config);
  EXPECT_EQ(toPrettyJson(parseJson(pretty)), pretty);
}

TEST(Json, repeatedKeyKeepsFirstPlaceAndLastValue) {
  EXPECT_EQ(roundTrip(R"({"a":1,"b":2,"a":3})"), R"({"a":3,"b":2})");
  EXPECT_EQ(roundTrip(R"({"a":[1],"b":0,"a":{"c":[2,{"a":4,"a":5}]}})"), R"({"a":{"c":[2,{"a":5}]},"b":0})");
  JsonObject object{{"x", 1}, {"y", 2}};
  object.set("x", "again");
  EXPECT_EQ(toCompactJson(object), R"({"x":"again","y":2})");
  EXPECT_NE(JsonValue(JsonObject{{"x", 1}, {"y", 2}}), JsonValue(JsonObject{{"y", 2}, {"x", 1}}));
}

TEST(Json, nestingIsBounded) {
  EXPECT_EQ(roundTrip(nested(maxJsonDepth)), nested(maxJsonDepth));
  const std::string tooDeep = "Invalid JSON: nesting deeper than 512 levels";
  EXPECT_THROW_MSG(parseJson(nested(maxJsonDepth + 1)), JsonParseError, tooDeep);
  EXPECT_THROW_MSG(parseJson(std::string(maxJsonDepth, '[') + "{\"a\":1}"), JsonParseError, tooDeep);
  EXPECT_THROW_MSG(parseJson(std::string(1000000, '[')), JsonParseError, tooDeep);
  try {
    parseJson(nested(maxJsonDepth + 1));
  } catch (const JsonParseError& error) {
    EXPECT_EQ(error.line(), 0u);  // the parser stopped at no place in the text
  }
}

TEST(Json, malformedTextIsRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "parse error at line 1, column 1: syntax error while parsing value - unexpected end of input; "
           "expected '[', '{', or a literal"},
      {" // only a comment\n", "parse error at line 2, column 1: syntax error while parsing value - unexpected "
                               "end of input; expected '[', '{', or a literal"},
      {"{} x", "parse error at line 1, column 4: syntax error while parsing value - invalid literal; "
               "expected end of input"},
      {"[1,]", "parse error at line 1, column 4: syntax error while parsing value - unexpected ']'; expected "
               "'[', '{', or a literal"},
      {"\"\xff\"", "parse error at line 1, column 2: syntax error while parsing value - invalid string: "
                   "ill-formed UTF-8 byte"},
      {"\"a\nb\"", "parse error at line 2, column 0: syntax error while parsing value - invalid string: control "
                   "character U+000A (LF) must be escaped to \\u000A or \\n"},
      {"01", "parse error at line 1, column 2: syntax error while parsing value - unexpected number literal; "
             "expected end of input"},
      {"NaN", "parse error at line 1, column 1: syntax error while parsing value - invalid literal"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_THROW_MSG(parseJson(text), JsonParseError, "Invalid JSON: " + message);
    // The error carries the place its message names, for a reader that points at it.
    size_t line = 0;
    size_t column = 0;
    ASSERT_EQ(std::sscanf(message.c_str(), "parse error at line %zu, column %zu", &line, &column), 2);
    try {
      parseJson(text);
    } catch (const JsonParseError& error) {
      EXPECT_EQ(std::make_pair(error.line(), error.column()), std::make_pair(line, column)) << text;
    }
  }
}

TEST(Json, writersLayout) {
  EXPECT_EQ(toPrettyJson(parseJson(R"({"a":1,"b":[],"c":{"d":"e"}})")),
            "{\n  \"a\": 1,\n  \"b\": [],\n  \"c\": {\n    \"d\": \"e\"\n  }\n}");
  EXPECT_EQ(toPrettyJson(parseJson(R"([{},[1,{"x":null}]])")),
            "[\n  {},\n  [\n    1,\n    {\n      \"x\": null\n    }\n  ]\n]");
  EXPECT_EQ(toPrettyJson(JsonValue()), "null");
  EXPECT_EQ(roundTrip(" { \"a\" : 1 , \"b\" : [ true , null , false ] } "), R"({"a":1,"b":[true,null,false]})");
}

TEST(Json, typedAccessRefusesOtherKinds) {
  const JsonValue body = parseJson(R"({"auth":"t","n":1})");
  EXPECT_THROW_MSG(body.asObject().at("input"), JsonAccessError, "key not found: input");
  EXPECT_THROW_MSG(body.asObject().at("auth").asInt(), JsonAccessError, "JSON value is not an integer");
  EXPECT_THROW_MSG(body.asObject().at("n").asFloat(), JsonAccessError, "JSON value is not a float");
  EXPECT_THROW_MSG(body.asArray(), JsonAccessError, "JSON value is not an array");
}

}  // namespace nc
