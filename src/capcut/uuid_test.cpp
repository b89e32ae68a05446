#include "capcut/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>
#include <vector>

TEST(NewUuid, UpperCaseVersion4AndNeverRepeated) {
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = new_uuid();
    ASSERT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 2000u);
}

TEST(NewUuid, ThreadsDoNotShareASequence) {
  std::vector<std::string> first(200), second(200);
  std::thread a([&] {
    for (auto& id : first)
      id = new_uuid();
  });
  std::thread b([&] {
    for (auto& id : second)
      id = new_uuid();
  });
  a.join();
  b.join();
  std::set<std::string> seen(first.begin(), first.end());
  seen.insert(second.begin(), second.end());
  EXPECT_EQ(seen.size(), 400u);
}
