#include "capcut/version_markers.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> keys_of(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it)
    keys.push_back(it.key());
  return keys;
}

}  // namespace

TEST(VersionMarkersOf, TakesOnlyMarkersOfTheirKindAndSize) {
  const struct {
    std::string draft;
    std::vector<std::string> members;  // empty: no markers at all
    const char* message;
  } cases[] = {
      {R"({"tracks": [], "version": 360000, "new_version": "179.0.0",
           "platform": {"os": "windows", "app_version": "8.7.0"},
           "last_modified_platform": {"os": "windows", "app_version": "9.1.0"}})",
       {"version", "new_version", "platform", "last_modified_platform"},
       "CapCut-Version des Projekts: 9.1.0 (179.0.0), aus der Vorlage"},
      {R"({"new_version": "171.0.0", "version": "360000",
           "platform": {"app_version": ")" +
           std::string(300, '9') + R"("},
           "last_modified_platform": {"app_version": "8.7.0", "extra": {"nested": 1}}})",
       {"new_version"},
       "CapCut-Version des Projekts: 171.0.0, aus der Vorlage"},
      {R"({"new_version": "185.0.0", "last_modified_platform": {"app_version": "9.4.1 [1/2]"}})",
       {"new_version", "last_modified_platform"},
       "CapCut-Version des Projekts: 185.0.0, aus der Vorlage"},
      {R"({"new_version": 185, "platform": {"app_version": "9.4.1"}})", {}, nullptr},
      {R"({"new_version": "185.0.0; x", "version": 360000})", {}, nullptr},
      {R"({"version": 360000})", {}, nullptr},
      {R"([{"new_version": "185.0.0"}])", {}, nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<VersionMarkers> markers = version_markers_of(parse_json(c.draft));
    if (c.members.empty()) {
      EXPECT_FALSE(markers.has_value()) << c.draft;
      continue;
    }
    ASSERT_TRUE(markers.has_value()) << c.draft;
    EXPECT_EQ(keys_of(markers->members), c.members) << c.draft;
    EXPECT_EQ(version_markers_message(*markers, false), c.message);
  }
}
