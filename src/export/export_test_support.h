#pragma once

// Helpers shared by the export tests: scripted stand-ins for ffmpeg and ffprobe, clips made with
// the real FFmpeg, and captured callbacks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "media/ffmpeg_tools.h"
#include "media/process.h"
#include "settings/callbacks.h"
#include "settings/fixed_paths.h"
#include "settings/json_text.h"
#include "settings/number_text.h"
#include "settings/path_text.h"
#include "support/test_util.h"

// The lines of `text`, sorted: calls of children that run at the same time come in any order.
inline std::vector<std::string> sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Sets an environment variable for the scope and puts the old value back at its end.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name.c_str()))
      old_ = old;
    set(name, value);
  }
  ~ScopedEnv() {
#ifdef _WIN32
    set(name_, old_.value_or(""));
#else
    if (old_)
      set(name_, *old_);
    else
      unsetenv(name_.c_str());
#endif
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  static void set(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
  }

  std::string name_;
  std::optional<std::string> old_;
};

// Tests that need the shell for their scripted stand-ins, or the real ffprobe, are skipped in the
// Windows test run, which has neither; the Linux suite runs them.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << reason
#else
#define SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

// The path of a program on the current search path (for stand-ins that hand over to it).
inline std::string real_program(const std::string& name) {
  const ProcessResult found =
      run_process({"sh", "-c", "command -v " + name}, 5, OutputDecoding::replace_invalid);
  std::string path = found.out;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
    path.pop_back();
  return path;
}

// A folder put first on PATH for the scope, holding shell scripts that stand in for programs.
class StandInTools {
 public:
  StandInTools() : path_("PATH", dir_.text() + PATH_SEPARATOR + current_path()) {}

  // Writes an executable script `name` whose body follows "#!/bin/sh".
  void script(const std::string& name, const std::string& body) {
    const fs::path file = dir_ / name;
    write_text_file(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  }
  // The file the scripts may append their calls to: echo "$@" >> "$CALLS".
  std::string calls_file() const { return path_to_utf8(dir_ / "calls.txt"); }
  std::string calls() const { return read_text_file(dir_ / "calls.txt"); }

 private:
#ifdef _WIN32
  static constexpr const char* PATH_SEPARATOR = ";";
#else
  static constexpr const char* PATH_SEPARATOR = ":";
#endif
  static std::string current_path() {
    const char* path = std::getenv("PATH");
    return path ? path : "/usr/bin:/bin";
  }
  ScopedTempDir dir_{"tavelmor_standin_"};
  ScopedEnv path_;
};

// A clip of `seconds` with a tone (or, with `with_sound` false, no audio stream), 320x240 at 30
// fps, carrying the handle tags when `handles` is given. The container follows the extension.
inline void make_clip(const fs::path& path, double seconds, bool with_sound = true,
                      std::optional<std::pair<double, double>> handles = std::nullopt) {
  fs::create_directories(path.parent_path());
  const fs::path plain =
      handles ? path.parent_path() / ("untagged_" + path.filename().string()) : path;
  if (with_sound) {
    make_recording(plain, {seconds});
  } else {
    run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-t", double_text(seconds),
                "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                path_to_utf8(plain)});
  }
  if (!handles)
    return;
  std::vector<std::string> args = {
      "-i",        path_to_utf8(plain),
      "-map",      "0",
      "-c",        "copy",
      "-metadata", "TAVELMOR_C_IN=" + tag_seconds_text(handles->first),
      "-metadata", "TAVELMOR_C_OUT=" + tag_seconds_text(handles->second)};
  const std::string extension = to_lower_ascii(extension_of(path_to_utf8(path)));
  if (extension == ".mp4" || extension == ".mov")
    args.insert(args.end(), {"-movflags", "use_metadata_tags"});
  args.push_back(path_to_utf8(path));
  run_ffmpeg(args);
  fs::remove(plain);
}

// ffprobe's JSON of a file (format and streams).
inline Json probe(const fs::path& path) {
  return parse_json(probe_json(path));
}

inline double probed_duration(const fs::path& path) {
  return std::stod(probe(path)["format"]["duration"].get<std::string>());
}

// The streams of one kind ("video", "audio") of a probed file.
inline std::vector<Json> streams_of(const Json& probed, const std::string& kind) {
  std::vector<Json> found;
  for (const Json& stream : probed["streams"]) {
    if (stream.value("codec_type", std::string()) == kind)
      found.push_back(stream);
  }
  return found;
}

// The channels of the first sound stream of a file, by a probe of its own; 0 without sound.
inline int sound_channels_of(const fs::path& path) {
  const std::vector<Json> sound = streams_of(probe(path), "audio");
  return sound.empty() ? 0 : sound.front()["channels"].get<int>();
}

// A file's facts as separate measures give them: get_duration, get_handles and the streams of a
// probe of its own (for test clips of square pixels without rotation or timecode).
inline ClipFacts separately_measured_facts(const std::string& path) {
  const Json probed = probe(path_from_utf8(path));
  ClipFacts facts{get_duration(path),
                  get_handles(path),
                  sound_channels_of(path_from_utf8(path)),
                  std::nullopt,
                  SoundFormat{},
                  std::nullopt,
                  {}};
  for (const Json& video : streams_of(probed, "video")) {
    facts.picture = PictureFacts{video["width"].get<int>(),
                                 video["height"].get<int>(),
                                 frame_rate_from_text(video["r_frame_rate"].get<std::string>()),
                                 true,
                                 {}};
    break;
  }
  for (const Json& sound : streams_of(probed, "audio")) {
    facts.sound_format = {std::stoi(sound["sample_rate"].get<std::string>()),
                          sound.value("bits_per_sample", 0)};
    break;
  }
  return facts;
}

// Checks that the calls a counting stand-in noted ("echo "$@"", one line each) are one format
// probe of each file, in any order.
inline void expect_one_probe_each(const std::string& calls, const std::vector<std::string>& files) {
  std::vector<std::string> expected;
  for (const std::string& file : files)
    expected.push_back(file);
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> probed;
  for (const std::string& line : sorted_lines(calls)) {
    EXPECT_EQ(line.rfind("-v quiet -print_format json -show_format ", 0), 0u) << line;
    probed.push_back(line.substr(line.rfind(' ') + 1));
  }
  std::sort(probed.begin(), probed.end());
  EXPECT_EQ(probed, expected);
}

// Checks the text for well-formedness with the XML parser of libxml2-utils (Linux suite only:
// the Windows test run has no xmllint).
inline void expect_well_formed_xml(const std::string& text) {
#ifdef _WIN32
  static_cast<void>(text);
#else
  ScopedTempDir dir("tavelmor_xml_");
  const fs::path file = dir / "doc.xml";
  write_text_file(file, text);
  const ProcessResult checked =
      run_process({"xmllint", "--noout", path_to_utf8(file)}, 30, OutputDecoding::replace_invalid);
  EXPECT_EQ(checked.exit_code, 0) << checked.err;
#endif
}

#ifndef _WIN32
// What an XPath expression selects in the document, as xmllint prints it (Linux suite only).
inline std::string xpath(const std::string& doc, const std::string& expression) {
  ScopedTempDir dir("tavelmor_xpath_");
  write_text_file(dir / "doc.xml", doc);
  const ProcessResult selected =
      run_process({"xmllint", "--xpath", expression, path_to_utf8(dir / "doc.xml")}, 30,
                  OutputDecoding::replace_invalid);
  return selected.out;
}

// The lines of what an XPath expression selects: one per text node.
inline std::vector<std::string> xpath_lines(const std::string& doc, const std::string& expression) {
  std::vector<std::string> lines;
  std::istringstream stream(xpath(doc, expression));
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

// Checks the links of a timeline document as editors follow them: each names an item of the kind,
// track and place it states (audio links with a group index, video links without), and every
// member of a group holds the same links, one to each member, itself included; ids are unique.
// Returns each group's ids in link order (an unlinked item alone), in no set order.
inline std::vector<std::vector<std::string>> linked_groups(const std::string& doc) {
  static const std::regex NODE(R"re( id="([^"]*)"|<(\w+)>([^<]*)</\2>)re");
  // Where each item stands, as its links state it: "audio 2 5" for the fifth on audio track 2.
  std::map<std::string, std::string> places;
  for (const std::string kind : {"video", "audio"}) {
    const std::string tracks = "//sequence/media/" + kind + "/track";
    for (int track = 1; track <= std::stoi(xpath(doc, "count(" + tracks + ")")); ++track) {
      const std::string ids = xpath(doc, tracks + "[" + std::to_string(track) + "]/clipitem/@id");
      int place = 0;
      for (std::sregex_iterator it(ids.begin(), ids.end(), NODE), end; it != end; ++it) {
        const std::string where =
            kind + " " + std::to_string(track) + " " + std::to_string(++place);
        EXPECT_TRUE(places.emplace((*it)[1].str(), where).second) << "id twice: " << (*it)[1];
      }
    }
  }
  // Each item's links, "ref kind track place [group]" each, read in document order.
  std::map<std::string, std::vector<std::string>> links;
  const std::string listed = xpath(doc, "//clipitem/@id | //clipitem/link/*");
  std::vector<std::string>* holder = nullptr;
  for (std::sregex_iterator it(listed.begin(), listed.end(), NODE), end; it != end; ++it) {
    if ((*it)[1].matched)
      holder = &links[(*it)[1].str()];
    else if ((*it)[2].str() == "linkclipref")
      holder->push_back((*it)[3].str());
    else
      holder->back() += " " + (*it)[3].str();
  }
  std::vector<std::vector<std::string>> groups;
  for (const auto& [id, where] : places) {
    std::vector<std::string> members;
    for (const std::string& link : links[id]) {
      const std::string ref = link.substr(0, link.find(' '));
      members.push_back(ref);
      const auto target = places.find(ref);
      if (target == places.end()) {
        ADD_FAILURE() << id << " links to a missing item " << ref;
        continue;
      }
      const std::string& stated_place = target->second;
      const std::string stated = link.substr(ref.size() + 1);
      EXPECT_EQ(stated.substr(0, stated_place.size()), stated_place) << id << ": " << link;
      // The group index: there for audio, absent for video.
      EXPECT_EQ(stated.size() > stated_place.size(), stated_place.rfind("audio", 0) == 0) << link;
      EXPECT_EQ(links[ref], links[id]) << id << " and " << ref;
    }
    if (members.empty())
      members.push_back(id);
    EXPECT_NE(std::find(members.begin(), members.end(), id), members.end()) << id;
    if (std::find(groups.begin(), groups.end(), members) == groups.end())
      groups.push_back(members);
  }
  return groups;
}
#endif

// The callbacks of an exporter, recorded in the order they were called.
struct Recorder {
  std::vector<std::string> events;  // "log: ...", "done: ...", "err: ..."

  MessageFn log() {
    return [this](const std::string& msg) { events.push_back("log: " + msg); };
  }
  MessageFn done() {
    return [this](const std::string& path) { events.push_back("done: " + path); };
  }
  MessageFn err() {
    return [this](const std::string& text) { events.push_back("err: " + text); };
  }
  std::vector<std::string> logs() const {
    std::vector<std::string> lines;
    for (const std::string& event : events) {
      if (event.rfind("log: ", 0) == 0)
        lines.push_back(event.substr(5));
    }
    return lines;
  }
  // The one done or err event (fails the test when there is not exactly one).
  std::string outcome() const {
    std::vector<std::string> outcomes;
    for (const std::string& event : events) {
      if (event.rfind("done: ", 0) == 0 || event.rfind("err: ", 0) == 0)
        outcomes.push_back(event);
    }
    EXPECT_EQ(outcomes.size(), 1u);
    return outcomes.empty() ? "" : outcomes.front();
  }
};

// The fixed paths of a home inside `folder` that has no Desktop: an exporter's failure report is
// dropped there instead of overwriting the user's own.
inline FixedPaths scratch_paths(const ScopedTempDir& folder) {
  return fixed_paths_for_home(folder / "home");
}

// The settings an exporter reads.
inline Json export_cfg(const std::string& output_folder,
                       const std::string& resolution = "Hochformat 1080x1920") {
  Json cfg = Json::object();
  cfg["output_folder"] = output_folder;
  cfg["resolution"] = resolution;
  return cfg;
}
