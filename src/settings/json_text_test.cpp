#include "settings/json_text.h"

#include <gtest/gtest.h>

#include <limits>

TEST(JsonLineText, WireFormOfThePrototol) {
  const Json value = parse_json(
      R"({"event": "log", "panel": "cut", "msg": "FFmpeg gefunden – bereit! ✓ äöü", "n": 2,)"
      R"( "d": 3.0, "e": 5e-05, "ok": true, "none": null, "list": [1, [], {}], "o": {"a": 0.5}})");
  EXPECT_EQ(
      json_line_text(value),
      R"({"event": "log", "panel": "cut", "msg": "FFmpeg gefunden – bereit! ✓ äöü", "n": 2,)"
      R"( "d": 3.0, "e": 5e-05, "ok": true, "none": null, "list": [1, [], {}], "o": {"a": 0.5}})");
}

TEST(JsonLineText, EscapesOnlyQuotesBackslashesAndControlCharacters) {
  const Json value = std::string("a\"b\\c\n\r\t\b\f\x01\x1f/\x7f");
  EXPECT_EQ(json_line_text(value), R"("a\"b\\c\n\r\t\b\f\u0001\u001f/)"
                                   "\x7f\"");
}

TEST(JsonLineText, InvalidUtf8IsReplacedAndTheLineStaysWhole) {
  const Json value = {{"msg", std::string("Datei \xff\xfe alt.mp4")}};
  EXPECT_EQ(json_line_text(value), "{\"msg\": \"Datei \xEF\xBF\xBD\xEF\xBF\xBD alt.mp4\"}");
  EXPECT_NO_THROW(parse_json(json_line_text(value)));
}

TEST(JsonLineText, KeepsIntegersAndDoublesApart) {
  EXPECT_EQ(json_line_text(parse_json("[2, 2.0, -0, 1e2, 18446744073709551615]")),
            "[2, 2.0, 0, 100.0, 18446744073709551615]");
}

TEST(JsonFileText, IndentedLayoutWithoutFinalLineFeed) {
  const Json value = parse_json(
      R"({"output_folder": "/home/ü", "trim_padding": 3.0, "n": 2, "list": [1, {"a": []}], "e": {}})");
  EXPECT_EQ(json_file_text(value),
            "{\n"
            "  \"output_folder\": \"/home/ü\",\n"
            "  \"trim_padding\": 3.0,\n"
            "  \"n\": 2,\n"
            "  \"list\": [\n"
            "    1,\n"
            "    {\n"
            "      \"a\": []\n"
            "    }\n"
            "  ],\n"
            "  \"e\": {}\n"
            "}");
}

TEST(JsonPlainText, StringsUnchangedOtherValuesCompact) {
  EXPECT_EQ(json_plain_text(Json("a b")), "a b");
  EXPECT_EQ(json_plain_text(Json(5)), "5");
  EXPECT_EQ(json_plain_text(Json::array({1, "x"})), "[1, \"x\"]");
}

// Nesting `depth` arrays deep around `inner`.
std::string nested(size_t depth, const std::string& inner = "") {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

TEST(ParseJson, NestingIsBoundedAndBracketsInStringsDoNotCount) {
  EXPECT_NO_THROW(parse_json(nested(MAX_JSON_DEPTH)));
  EXPECT_NO_THROW(parse_json(nested(MAX_JSON_DEPTH - 1, R"("[[[{{{\"[[")")));
  EXPECT_NO_THROW(parse_json("{\"a\": " + nested(MAX_JSON_DEPTH - 1) + "}"));
  EXPECT_THROW(parse_json(nested(MAX_JSON_DEPTH + 1)), std::runtime_error);
  EXPECT_THROW(parse_json("{\"a\": " + nested(MAX_JSON_DEPTH) + "}"), std::runtime_error);
  EXPECT_THROW(parse_json(nested(41000)), std::runtime_error);
}

TEST(ParseJson, ANulByteAnywhereMakesTheTextInvalid) {
  EXPECT_THROW(parse_json(std::string("{\"cmd\": \"get_state\"}\0garbage", 28)),
               std::runtime_error);
  EXPECT_THROW(parse_json(std::string("[\"a\0b\"]", 7)), std::runtime_error);
  EXPECT_EQ(parse_json(R"(["a\u0000b"])")[0], std::string("a\0b", 3));
}

TEST(JsonText, ValuesDeeperThanAnyParsedOneAreWrittenWithoutRecursion) {
  const size_t depth = 300000;
  Json deep = Json::array();
  for (size_t i = 1; i < depth; ++i) {
    Json outer = Json::array({0});
    outer.push_back(std::move(deep));
    deep = std::move(outer);
  }
  const std::string line = json_line_text(deep);
  EXPECT_EQ(line.size(), 5 * depth - 3);
  EXPECT_EQ(line.substr(0, 8), "[0, [0, ");
  EXPECT_EQ(line.substr(line.size() - 4), "]]]]");
}

TEST(JsonToInteger, FollowsTheCommandRules) {
  EXPECT_EQ(json_to_integer(Json(3)), 3);
  EXPECT_EQ(json_to_integer(Json(-2.7)), -2);
  EXPECT_EQ(json_to_integer(Json(true)), 1);
  EXPECT_EQ(json_to_integer(Json(" 12 ")), 12);
  EXPECT_EQ(json_to_integer(Json("-4")), -4);
  for (const Json& bad :
       {Json(), Json(""), Json("1.0"), Json("a1"), Json("+"), Json::array({1}), Json::object()}) {
    EXPECT_THROW(json_to_integer(bad), std::runtime_error) << bad.dump();
  }
}

TEST(JsonToInteger, NumbersBeyondTheRangeSaturateInsteadOfWrapping) {
  constexpr long long MAX = std::numeric_limits<long long>::max();
  constexpr long long MIN = std::numeric_limits<long long>::min();
  EXPECT_EQ(json_to_integer(parse_json("18446744073709551615")), MAX);
  EXPECT_EQ(json_to_integer(parse_json("9223372036854775808")), MAX);
  EXPECT_EQ(json_to_integer(parse_json("9223372036854775807")), MAX);
  EXPECT_EQ(json_to_integer(parse_json("-9223372036854775808")), MIN);
  EXPECT_EQ(json_to_integer(parse_json("1e300")), MAX);
  EXPECT_EQ(json_to_integer(parse_json("-1e300")), MIN);
  EXPECT_EQ(json_to_integer(Json("18446744073709551615")), MAX);
  EXPECT_EQ(json_to_integer(Json("-" + std::string(400, '9'))), MIN);
  EXPECT_EQ(json_to_integer(Json("0000000000000000000000001")), 1);
  EXPECT_EQ(json_to_integer(Json("-000")), 0);
}
