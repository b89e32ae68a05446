#include "backend/event_channel.h"

#include <mutex>
#include <stdexcept>

std::string event_line_text(const std::string& event, const Json& members) {
  Json line = Json::object();
  line["event"] = event;
  for (auto it = members.begin(); it != members.end(); ++it)
    line[it.key()] = *it;
  return json_line_text(line);
}

void send(std::ostream& out, const std::string& event, const Json& members) {
  static std::mutex write_lock;
  const std::string line = event_line_text(event, members) + "\n";
  std::lock_guard<std::mutex> hold(write_lock);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.flush();
  if (!out)
    throw EventWriteError("Ereignis konnte nicht geschrieben werden");
}
