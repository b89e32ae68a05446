#include "export/finalcut_timeline.h"

#include <gtest/gtest.h>

#include "export/fcpxml_test_support.h"
#include "support/device_media.h"

namespace {

// A 64x48 clip of `seconds` at `rate` from lavfi, with a tone of `channels` at `sample_rate`
// unless `channels` is 0, and the given extra output arguments (tags, timecode).
void make_media(const fs::path& path, const std::string& rate, int channels, int sample_rate,
                std::vector<std::string> extra) {
  std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=" + rate};
  if (channels > 0) {
    args.insert(args.end(), {"-f", "lavfi", "-i", "sine=sample_rate=" + std::to_string(sample_rate),
                             "-ac", std::to_string(channels), "-c:a", "aac"});
  }
  args.insert(args.end(), {"-t", "1", "-c:v", "libx264", "-preset", "ultrafast"});
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(path_to_utf8(path));
  run_ffmpeg(args);
}

std::vector<std::string> handle_tags(const std::string& c_in, const std::string& c_out) {
  return {"-metadata", "TAVELMOR_C_IN=" + c_in, "-metadata", "TAVELMOR_C_OUT=" + c_out,
          "-movflags", "use_metadata_tags"};
}

Ratio seconds_ratio(const std::string& text) {
  return *fcpxml_time(text);
}

Ratio minus(Ratio a, Ratio b) {
  return a + Ratio{-b.num, b.den};
}

double seconds_of(Ratio r) {
  return static_cast<double>(r.num) / static_cast<double>(r.den);
}

}  // namespace

// One clip of each kind the export meets: every asset says what ffprobe says of its file, every
// piece lies where the handles and joins put it, on the frames, and the document holds to Final
// Cut's rules. One probe per clip and no other child.
TEST(FinalCutTimelineMedia, EachAssetDeclaresItsFileAndEachPieceLiesOnTheFrames) {
  SKIP_ON_WINDOWS("the counting stand-in and xmllint need a POSIX system");
  ScopedTempDir scratch;
  const fs::path clips = scratch / "Clips & Co #2";
  fs::create_directories(clips);
  const std::string tricky = "Grüße & #1 <\"x\">";
  make_media(clips / "plain.mp4", "30", 2, 48000, handle_tags("0.2", "0.8"));
  make_media(clips / "tc.mov", "25", 1, 44100,
             {"-metadata", "timecode=01:00:10:00", "-metadata", "TAVELMOR_C_IN=0.12", "-metadata",
              "TAVELMOR_C_OUT=0.9", "-movflags", "use_metadata_tags"});
  make_media(clips / "ntsc.mov", "30000/1001", 2, 48000, {"-metadata", "timecode=01:00:00;00"});
  make_media(clips / "silent.mp4", "60", 0, 0, {});
  std::vector<std::string> cut_args = {
      "-i", path_to_utf8(clips / "plain.mp4"), "-c", "copy", "-metadata", "TAVELMOR_CUTS=0.4,0.6"};
  const auto tags = handle_tags("0.2", "0.8");
  cut_args.insert(cut_args.end(), tags.begin(), tags.end());
  cut_args.push_back(path_to_utf8(clips / (tricky + ".mp4")));
  run_ffmpeg(cut_args);

  struct Expected {
    std::string file;
    Ratio asset_start;
    std::string tc_format;
    std::vector<Ratio> piece_starts;  // from the asset's start
    std::vector<Ratio> durations;
  };
  const Expected expected[] = {
      {"plain.mp4", {0, 1}, "", {{1, 5}}, {{3, 5}}},
      // 01:00:10:00; the handles 0.12 and 0.9 are 3 and 22.5 frames: 20 frames, 0.8 s.
      {"tc.mov", {3610, 1}, "NDF", {{3, 25}}, {{4, 5}}},
      // 01:00:00;00 drop-frame is frame 107892 at 29.97; the whole clip.
      {"ntsc.mov", ratio(107892LL * 1001, 30000), "DF", {{0, 1}}, {}},
      {"silent.mp4", {0, 1}, "", {{0, 1}}, {}},
      {tricky + ".mp4", {0, 1}, "", {{1, 5}, {2, 5}, {3, 5}}, {{1, 5}, {1, 5}, {1, 5}}},
  };
  std::vector<std::string> files;
  for (const Expected& e : expected)
    files.push_back(path_to_utf8(clips / e.file));

  Recorder recorder;
  std::string calls;
  {
    StandInTools tools;
    tools.script("ffprobe", "echo \"$@\" >> '" + tools.calls_file() + "'\nexec '" +
                                real_program("ffprobe") + "' \"$@\"");
    tools.script("ffmpeg", "echo \"$@\" >> '" + tools.calls_file() + "'\nexit 1");
    run_master_fcpxml(files, export_cfg(path_to_utf8(scratch / "out"), "Querformat 1920x1080"),
                      recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch));
    calls = tools.calls();
  }
  const fs::path document = scratch / "out" / "finalcut_timeline.fcpxml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  // Each call's last argument is its file; the names hold spaces, so each line is matched whole.
  const std::vector<std::string> lines = sorted_lines(calls);
  EXPECT_EQ(lines.size(), files.size()) << calls;
  for (const std::string& file : files) {
    const auto probes_of_file = [&](const std::string& line) {
      return line.rfind("-v quiet -print_format json -show_format ", 0) == 0 &&
             line.size() > file.size() &&
             line.compare(line.size() - file.size() - 1, std::string::npos, " " + file) == 0;
    };
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), probes_of_file), 1) << file;
  }
  const std::vector<std::string> expected_logs = {
      "Final Cut Pro Export: nutze Clips direkt aus der Reihenfolge",
      "Analysiere Clips ...",
      "[1/5] plain.mp4",
      "Handle: In=0.20s Out=0.80s",
      "[2/5] tc.mov",
      "Handle: In=0.12s Out=0.92s",
      "[3/5] ntsc.mov",
      "[4/5] silent.mp4",
      "[5/5] " + tricky + ".mp4",
      "Handle: In=0.20s Out=0.80s",
      "Gespeichert: " + path_to_utf8(document)};
  EXPECT_EQ(recorder.logs(), expected_logs);

  const std::string doc = read_text_file(document);
  expect_valid_fcpxml(doc);
  const std::vector<XmlElement> elements = xml_elements(doc);
  std::map<std::string, XmlElement> formats;
  for (const XmlElement& format : elements_named(elements, "format"))
    formats[format.at("id")] = format;
  EXPECT_EQ(formats["r1"].at("width") + "x" + formats["r1"].at("height"), "1920x1080");
  const std::vector<XmlElement> assets = elements_named(elements, "asset");
  const std::vector<XmlElement> urls = elements_named(elements, "media-rep");
  const std::vector<XmlElement> pieces = elements_named(elements, "asset-clip");
  ASSERT_EQ(assets.size(), std::size(expected));
  size_t piece = 0;
  for (size_t i = 0; i < assets.size(); ++i) {
    const Expected& e = expected[i];
    const XmlElement& asset = assets[i];
    const fs::path file = clips / e.file;
    SCOPED_TRACE(e.file);
    EXPECT_EQ(asset.at("name"), stem_of(e.file));
    EXPECT_EQ(percent_decoded(urls[i].at("src").substr(7)), path_to_utf8(fs::canonical(file)));

    // The facts as ffprobe states them.
    const Json probed = probe(file);
    const Json video = streams_of(probed, "video").at(0);
    const std::vector<Json> sound = streams_of(probed, "audio");
    const XmlElement& format = formats[asset.at("format")];
    EXPECT_EQ(format.at("width"), std::to_string(video["width"].get<int>()));
    EXPECT_EQ(format.at("height"), std::to_string(video["height"].get<int>()));
    const std::string rate = video["r_frame_rate"];
    const Ratio frame = seconds_ratio(format.at("frameDuration"));
    EXPECT_EQ(frame, ratio(std::stoll(rate.substr(rate.find('/') + 1)),
                           std::stoll(rate.substr(0, rate.find('/')))));
    EXPECT_EQ(asset.at("hasAudio"), sound.empty() ? "" : "1");
    EXPECT_EQ(asset.at("audioChannels"),
              sound.empty() ? "" : std::to_string(sound[0]["channels"].get<int>()));
    EXPECT_EQ(asset.at("audioRate"),
              sound.empty() ? "" : sound[0]["sample_rate"].get<std::string>());
    const double length = seconds_of(seconds_ratio(asset.at("duration")));
    EXPECT_LE(length, probed_duration(file));
    EXPECT_GT(length, probed_duration(file) - seconds_of(frame));
    EXPECT_EQ(seconds_ratio(asset.at("start")), e.asset_start);

    for (size_t k = 0; k < e.piece_starts.size(); ++k, ++piece) {
      ASSERT_LT(piece, pieces.size());
      const XmlElement& clip = pieces[piece];
      EXPECT_EQ(clip.at("ref"), asset.at("id"));
      EXPECT_EQ(clip.at("name"), stem_of(e.file));
      EXPECT_EQ(clip.at("tcFormat"), e.tc_format);
      EXPECT_EQ(clip.at("audioRole"), sound.empty() ? "" : "dialogue");
      EXPECT_EQ(minus(seconds_ratio(clip.at("start")), e.asset_start), e.piece_starts[k]) << k;
      if (!e.durations.empty()) {
        EXPECT_EQ(seconds_ratio(clip.at("duration")), e.durations[k]) << k;
      }
    }
  }
  EXPECT_EQ(piece, pieces.size());
}

// A clip that cannot be probed, one without picture and a missing one each stop the export at
// their counter with the text the other exports give, and an earlier document stays.
TEST(FinalCutTimelineMedia, BadClipsStopTheExportAndLeaveTheEarlierDocument) {
  ScopedTempDir scratch;
  make_media(scratch / "good.mp4", "30", 1, 48000, {});
  write_text_file(scratch / "broken.mp4", "no media");
  run_ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "0.3", "-c:a", "aac",
              path_to_utf8(scratch / "stimme.mp4")});
  const fs::path document = scratch / "out" / "finalcut_timeline.fcpxml";
  write_text_file(document, "old");

  const std::pair<const char*, std::string> cases[] = {
      {"broken.mp4", "err: ffprobe konnte die Videolänge nicht lesen: broken.mp4\n"},
      {"stimme.mp4", "err: Fehler bei stimme.mp4: kein Bild, die Datei enthält keine Videospur"},
      {"gone.mp4", "err: Datei nicht gefunden: " + path_to_utf8(scratch / "gone.mp4")},
  };
  for (const auto& [name, outcome] : cases) {
    Recorder recorder;
    run_master_fcpxml({path_to_utf8(scratch / "good.mp4"), path_to_utf8(scratch / name)},
                      export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                      recorder.err(), scratch_paths(scratch));
    EXPECT_EQ(recorder.outcome().substr(0, outcome.size()), outcome);
    EXPECT_EQ(recorder.logs().back(), "[2/2] " + std::string(name));
    EXPECT_EQ(read_text_file(document), "old");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch / "out"), fs::directory_iterator()), 1);
}

// A probe that states a length beyond a day (a damaged header) is refused: the document's times
// are whole frames, which such a length would run out of.
TEST(FinalCutTimeline, AClipLongerThanADayIsRefused) {
  SKIP_ON_WINDOWS("the stand-in needs a POSIX shell");
  ScopedTempDir scratch;
  write_text_file(scratch / "long.mp4", "x");
  StandInTools tools;
  tools.script("ffprobe",
               "echo '{\"streams\": [{\"codec_type\": \"video\", \"width\": 64, \"height\": 48, "
               "\"r_frame_rate\": \"30/1\"}], \"format\": {\"duration\": \"1e300\"}}'");
  Recorder recorder;
  run_master_fcpxml({path_to_utf8(scratch / "long.mp4")}, export_cfg(path_to_utf8(scratch / "out")),
                    recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch));
  EXPECT_EQ(recorder.outcome(), "err: Fehler bei long.mp4: länger als 24 Stunden");
}

// Final Cut takes each asset for one file: a clip listed again through a link refers to the
// asset of its first listing.
TEST(FinalCutTimelineMedia, AFileListedTwiceIsOneAssetForBothClips) {
  SKIP_ON_WINDOWS("the link needs a POSIX system");
  ScopedTempDir scratch;
  make_media(scratch / "take.mp4", "30", 1, 48000, handle_tags("0.1", "0.5"));
  fs::create_symlink(scratch / "take.mp4", scratch / "again.mp4");
  Recorder recorder;
  run_master_fcpxml({path_to_utf8(scratch / "take.mp4"), path_to_utf8(scratch / "again.mp4")},
                    export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                    recorder.err(), scratch_paths(scratch));
  const fs::path document = scratch / "out" / "finalcut_timeline.fcpxml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  const std::string doc = read_text_file(document);
  expect_valid_fcpxml(doc);
  const std::vector<XmlElement> elements = xml_elements(doc);
  ASSERT_EQ(elements_named(elements, "asset").size(), 1u);
  const std::vector<XmlElement> clips = elements_named(elements, "asset-clip");
  ASSERT_EQ(clips.size(), 2u);
  EXPECT_EQ(clips[0].at("ref"), clips[1].at("ref"));
  EXPECT_EQ(clips[1].at("offset"), clips[0].at("duration"));
}

// A phone's HLG recording referenced as it lies must not be declared as Rec. 709: Final Cut would
// take its picture for SDR.
TEST(FinalCutTimelineMedia, AnHdrFileIsDeclaredInItsOwnColourSpace) {
  ScopedTempDir scratch;
  make_hdr_recording(scratch / "phone.mov", "arib-std-b67", 0.5, 0);
  make_media(scratch / "plain.mp4", "30", 1, 48000, {});
  Recorder recorder;
  run_master_fcpxml({path_to_utf8(scratch / "phone.mov"), path_to_utf8(scratch / "plain.mp4")},
                    export_cfg(path_to_utf8(scratch / "out")), recorder.log(), recorder.done(),
                    recorder.err(), scratch_paths(scratch));
  const fs::path document = scratch / "out" / "finalcut_timeline.fcpxml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  const std::vector<XmlElement> elements = xml_elements(read_text_file(document));
  std::map<std::string, std::string> colour_of_format;
  for (const XmlElement& format : elements_named(elements, "format"))
    colour_of_format[format.at("id")] = format.at("colorSpace");
  const std::vector<XmlElement> assets = elements_named(elements, "asset");
  ASSERT_EQ(assets.size(), 2u);
  EXPECT_EQ(colour_of_format[assets[0].at("format")], "9-18-9 (Rec. 2020 HLG)");
  EXPECT_EQ(colour_of_format[assets[1].at("format")], "1-1-1 (Rec. 709)");
}

// A timecode counts whole frames per second: at 12.5 fps its frame numbers are not the asset's
// frames, and taking them would start the asset 144 seconds late.
TEST(FinalCutTimelineMedia, ATimecodeAtARateThatIsNeitherWholeNorNtscIsLeftOut) {
  ScopedTempDir scratch;
  make_media(scratch / "half.mov", "25/2", 0, 0, {"-timecode", "01:00:00:00"});
  Recorder recorder;
  run_master_fcpxml({path_to_utf8(scratch / "half.mov")}, export_cfg(path_to_utf8(scratch / "out")),
                    recorder.log(), recorder.done(), recorder.err(), scratch_paths(scratch));
  const fs::path document = scratch / "out" / "finalcut_timeline.fcpxml";
  ASSERT_EQ(recorder.outcome(), "done: " + path_to_utf8(document));
  const std::string doc = read_text_file(document);
  expect_valid_fcpxml(doc);
  const std::vector<XmlElement> elements = xml_elements(doc);
  const std::vector<XmlElement> assets = elements_named(elements, "asset");
  ASSERT_EQ(assets.size(), 1u);
  EXPECT_EQ(assets[0].at("start"), "0s");
  const std::vector<XmlElement> clips = elements_named(elements, "asset-clip");
  ASSERT_EQ(clips.size(), 1u);
  EXPECT_EQ(clips[0].at("tcFormat"), "");
}
