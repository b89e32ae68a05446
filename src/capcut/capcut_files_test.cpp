#include "capcut/capcut_files.h"

#include <gtest/gtest.h>

#include "support/test_util.h"

TEST(MicrosecondsOf, NearestWithTiesToEven) {
  const struct {
    double seconds;
    long long expected;
  } cases[] = {
      {2.5, 2500000},       {1.0, 1000000},       {3.25, 3250000}, {0.0, 0},
      {2.5e-6, 2},          {3.5e-6, 4},          {0.5e-6, 0},     {1.5e-6, 2},
      {2.0000025, 2000002}, {1.0000005, 1000001}, {0.0000014, 1},  {12.345678, 12345678},
  };
  for (const auto& c : cases)
    EXPECT_EQ(microseconds_of(c.seconds), c.expected) << c.seconds;
}

TEST(ParseCapcutJson, UnusableTextsGiveNothing) {
  const std::string unusable[] = {
      "",
      "{",
      "{\"a\": 1} trailing",
      "\xEF\xBB\xBF{\"a\": 1}",  // byte-order mark before valid JSON
      "{\"a\": \"\xff\"}",       // invalid UTF-8
  };
  for (const std::string& text : unusable)
    EXPECT_FALSE(parse_capcut_json(text).has_value()) << text;
}

TEST(ParseCapcutJson, KeepsMemberOrderAndNumberKinds) {
  const auto value = parse_capcut_json(R"({"z": 1, "a": 1.0, "m": [true, null], "ä": "ü"})");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(json_line_text(*value), R"({"z": 1, "a": 1.0, "m": [true, null], "ä": "ü"})");
}

TEST(ReadCapcutJson, MissingOrNotAFileGivesNothing) {
  ScopedTempDir dir;
  EXPECT_FALSE(read_capcut_json(dir / "absent.json").has_value());
  EXPECT_FALSE(read_capcut_json(dir.path()).has_value());
  write_text_file(dir / "bom.json", "\xEF\xBB\xBF{}");
  EXPECT_FALSE(read_capcut_json(dir / "bom.json").has_value());
  write_text_file(dir / "ok.json", "[1]");
  EXPECT_EQ(read_capcut_json(dir / "ok.json"), Json::array({1}));
}

TEST(WriteCapcutJson, FileFormReplacedWholeWithoutLeftovers) {
  ScopedTempDir dir;
  write_text_file(dir / "draft.json", std::string(5000, 'x'));
  const Json value = parse_json(R"({"name": "Übung ✓", "volume": 1.0, "list": [], "o": {}})");
  write_capcut_json(dir / "draft.json", value);
  EXPECT_EQ(read_text_file(dir / "draft.json"),
            "{\n  \"name\": \"Übung ✓\",\n  \"volume\": 1.0,\n  \"list\": [],\n  \"o\": {}\n}");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 1);
}

TEST(FrameOf, ReadsTheResolutionSetting) {
  EXPECT_EQ(frame_of(Json{{"resolution", "Querformat 1920x1080"}}).width, 1920);
  EXPECT_EQ(frame_of(Json{{"resolution", "Hochformat 1080x1920"}}).height, 1920);
  try {
    frame_of(Json{{"resolution", "4K"}});
    FAIL() << "no error";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "Unbekannte Auflösung: 4K");
  }
  EXPECT_THROW(frame_of(Json::object()), std::runtime_error);
}

TEST(WithForwardSlashes, TurnsEveryBackslash) {
  EXPECT_EQ(with_forward_slashes("C:\\Clips\\a.mp4"), "C:/Clips/a.mp4");
  EXPECT_EQ(with_forward_slashes("/home/u/a b.mp4"), "/home/u/a b.mp4");
  EXPECT_EQ(with_forward_slashes("\\\\server\\share/x"), "//server/share/x");
}

TEST(TimeUnitFor, OwnValueThenTheObjectsOtherTimesThenMicroseconds) {
  const struct {
    const char* object;
    const char* member;
    TimeUnit expected;
  } cases[] = {
      {R"({"t": 1735689600000000})", "t", TimeUnit::microseconds},
      {R"({"t": 1735689600000})", "t", TimeUnit::milliseconds},
      {R"({"t": 999999999999999})", "t", TimeUnit::milliseconds},
      {R"({"t": 1000000000000000})", "t", TimeUnit::microseconds},
      {R"({"t": 1735689600000, "update_time": 1735689600000000})", "t", TimeUnit::milliseconds},
      // A value that shows no unit takes the one of the object's other times.
      {R"({"t": 0, "tm_draft_modified": 1735689600000})", "t", TimeUnit::milliseconds},
      {R"({"update_time": 1735689600000000})", "absent", TimeUnit::microseconds},
      {R"({"modify_time": 1735689600000, "t": "1735689600000000"})", "t", TimeUnit::milliseconds},
      // Nothing shows one.
      {R"({"t": 1.7e15, "create_time": -1, "duration": 1735689600000})", "t",
       TimeUnit::microseconds},
      {R"({})", "t", TimeUnit::microseconds},
      {R"([1735689600000])", "t", TimeUnit::microseconds},
  };
  for (const auto& c : cases)
    EXPECT_EQ(time_unit_for(parse_json(c.object), c.member), c.expected) << c.object;
}

TEST(SetTimeMembers, OnlyThosePresentEachInItsUnit) {
  Json meta = parse_json(
      R"({"tm_draft_create": 1700000000000000, "update_time": 1700000000000, "modify_time": 0})");
  set_time_members(meta, {"tm_draft_create", "update_time", "modify_time", "tm_draft_modified"},
                   1735689600123456);
  EXPECT_EQ(json_line_text(meta),
            R"({"tm_draft_create": 1735689600123456, "update_time": 1735689600123, )"
            R"("modify_time": 1735689600123456})");
}
