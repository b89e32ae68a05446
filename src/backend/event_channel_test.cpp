#include "backend/event_channel.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

TEST(EventChannel, EventMemberFirstThenTheMembersInOrder) {
  std::ostringstream out;
  send(out, "log", {{"panel", "cut"}, {"msg", "FFmpeg gefunden – bereit!"}, {"level", "ok"}});
  send(out, "ready", {{"version", "1.0"}});
  EXPECT_EQ(out.str(),
            "{\"event\": \"log\", \"panel\": \"cut\", \"msg\": \"FFmpeg gefunden – bereit!\", "
            "\"level\": \"ok\"}\n{\"event\": \"ready\", \"version\": \"1.0\"}\n");
}

TEST(EventChannel, LinesFromTwoThreadsNeverInterleave) {
  std::ostringstream out;
  const std::string long_text(5000, 'x');
  const auto writer = [&](const std::string& panel) {
    for (int i = 0; i < 300; ++i)
      send(out, "log", {{"panel", panel}, {"msg", long_text}});
  };
  std::thread job(writer, "master");
  writer("cut");
  job.join();
  std::istringstream lines(out.str());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    const Json event = Json::parse(line);
    EXPECT_EQ(event["msg"], long_text);
    ++count;
  }
  EXPECT_EQ(count, 600);
}

TEST(EventChannel, AFailedWriteIsPassedOn) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  EXPECT_THROW(send(out, "ready"), std::runtime_error);
}
