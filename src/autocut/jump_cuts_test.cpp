#include "autocut/jump_cuts.h"

#include <gtest/gtest.h>

#include "autocut/clip_cut.h"
#include "media/probe_json.h"
#include "settings/path_text.h"
#include "support/device_media.h"
#include "support/test_util.h"

namespace {

constexpr double FRAME = 1.0 / 30.0;
const FrameGrid GRID_30 = {0.01, FRAME};  // the first picture 10 ms into the clip

}  // namespace

TEST(JumpCutPlan, InnerPausesLoseAllButTheirMarginsOnThePictures) {
  struct Case {
    const char* what;
    std::vector<Silence> pauses;
    double keep;
    FrameGrid grid;
    std::vector<Removal> removals;
  };
  // A clip of 10 s and pause_min 0.5; frames at 0.01 + k / 30 (GRID_30).
  const Case cases[] = {
      {"a pause inside, its ends moved to the nearest pictures",
       {{2.0, 3.0}},
       0.15,
       GRID_30,
       {{0.01 + 64 * FRAME, 0.01 + 85 * FRAME}}},
      {"without a picture at the instants themselves", {{2.0, 3.0}}, 0.15, {}, {{2.15, 2.85}}},
      {"shorter than pause_min", {{2.0, 2.49}}, 0.15, GRID_30, {}},
      {"touching the clip's start or end",
       {{0.0, 1.0}, {9.2, 10.0}, {-0.5, 1.0}},
       0.15,
       GRID_30,
       {}},
      {"nothing left between the margins", {{2.0, 2.505}}, 0.25, GRID_30, {}},
      {"less than a picture kept between two pauses: they become one",
       {{2.0, 3.0}, {3.01, 4.0}},
       0.0,
       GRID_30,
       {{0.01 + 60 * FRAME, 0.01 + 120 * FRAME}}},
      {"a removal that would take the first picture", {{0.001, 0.9}}, 0.15, {0.2, FRAME}, {}},
  };
  for (const Case& c : cases) {
    const std::vector<Removal> removals = pause_removals(c.pauses, 10.0, 0.5, c.keep, c.grid);
    ASSERT_EQ(removals.size(), c.removals.size()) << c.what;
    for (size_t i = 0; i < removals.size(); ++i) {
      EXPECT_NEAR(removals[i].from, c.removals[i].from, 1e-9) << c.what;
      EXPECT_NEAR(removals[i].to, c.removals[i].to, 1e-9) << c.what;
    }
  }
}

TEST(JumpCutPlan, TheGridStartsAtTheFirstPictureTheClipKeeps) {
  PictureFacts picture;
  picture.rate = FrameRate{25, 1};
  picture.start = 0.02;  // the first picture 20 ms into the file
  const FrameGrid grid = clip_frame_grid(picture, 1.0);
  EXPECT_DOUBLE_EQ(grid.step, 0.04);
  EXPECT_NEAR(grid.first, 0.02 + 25 * 0.04 - 1.0, 1e-12);  // the picture at 1.02 s
  EXPECT_EQ(clip_frame_grid(std::nullopt, 1.0).step, 0.0);
}

#ifndef _WIN32

namespace {

// Temporary files go to a folder of the test's own, so it can see that none are left.
class JumpCutsMedia : public ::testing::Test {
 protected:
  JumpCutsMedia() : temp_("TMPDIR", scratch_.text()) {}

  // True when no graph file of the encode is left in the temporary folder.
  bool no_graph_file_left() const {
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      if (entry.path().filename().string().rfind("tavelmor_graph_", 0) == 0)
        return false;
    }
    return true;
  }

  // Cuts `recording` with the jump cuts and loudness settings on; the clip's path, or the
  // failure's message as a test failure.
  fs::path cut(const fs::path& recording, const Json& cfg) {
    std::vector<std::string> done;
    std::vector<std::string> errs;
    run_cut(
        path_to_utf8(recording), cfg, [this](const std::string& m) { logs_.push_back(m); },
        [&](const std::string& out) { done.push_back(out); },
        [&](const std::string& e) { errs.push_back(e); }, fixed_paths_for_home(work_.path()));
    EXPECT_EQ(errs, std::vector<std::string>{});
    return done.empty() ? fs::path() : path_from_utf8(done[0]);
  }

  Json cfg(double pause_min, double pause_keep) const {
    return Json{{"output_folder", path_to_utf8(work_ / "out")},
                {"silence_threshold", "-35dB"},
                {"silence_duration", 5.0},  // no pause ends the take
                {"suffix", "_cut"},
                {"trim_silence", true},
                {"trim_padding", 0.1},
                {"resolution", "Querformat 1920x1080"},
                {"add_padding", 0.0},
                {"cut_pauses", true},
                {"pause_min", pause_min},
                {"pause_keep", pause_keep}};
  }

  bool logged(const std::string& message) const {
    return std::find(logs_.begin(), logs_.end(), message) != logs_.end();
  }

  ScopedTempDir work_{"tavelmor_jump_"};
  ScopedTempDir scratch_{"tavelmor_jump_tmp_"};
  ScopedEnvVar temp_;
  std::vector<std::string> logs_;
};

double stream_duration(const fs::path& clip, const std::string& kind) {
  const Json probe = Json::parse(probe_json(clip));
  for (const Json& stream : probe["streams"]) {
    if (stream.value("codec_type", "") == kind)
      return std::stod(stream.value("duration", "0"));
  }
  return 0.0;
}

}  // namespace

// 21 words of 3 frames with 20 pauses of 8 frames between them, the picture white while the tone
// sounds. Trimmed to 0.1 s before the first word (at 0.3 s), the clip starts with the picture
// there (frame 6) and ends 0.05 s after the last word, at 7.7833 s; each pause keeps 2 frames at
// either side, so 20 times 4 frames go and the joins fall every 7 frames from frame 8 on.
TEST_F(JumpCutsMedia, TwentyPausesGoAndPictureAndSoundStayTogetherAtTheTarget) {
  const fs::path recording = work_ / "rede.mp4";
  make_marked_talk(recording, {0.3, 21, 3 * FRAME, 8 * FRAME, 0.5}, 0.1, 0.1);
  Json settings = cfg(0.2, 2 * FRAME);
  settings["loudness_target"] = -16.0;
  const ChildLog children;
  const fs::path clip = cut(recording, settings);
  ASSERT_FALSE(clip.empty());
  EXPECT_EQ(children.runs_of("ffprobe"), 2);
  EXPECT_EQ(children.runs_of("ffmpeg"), 3);
  EXPECT_TRUE(logged("Jump-Cuts: 20 Pause(n) entfernt, 2.7s gespart"));

  const ClipFacts facts = get_duration_and_handles(path_to_utf8(clip));
  ASSERT_TRUE(facts.handles.has_value());
  EXPECT_NEAR(facts.handles->c_out, 7.7833 - 6 * FRAME - 20 * 4 * FRAME, 0.005);
  EXPECT_NEAR(facts.duration, facts.handles->c_out, FRAME) << "the clip is the sum of its spans";
  ASSERT_EQ(facts.cuts.size(), 20u);
  for (size_t k = 0; k < facts.cuts.size(); ++k)
    EXPECT_NEAR(facts.cuts[k], static_cast<double>(8 + 7 * k) * FRAME, 0.005) << k;
  EXPECT_NEAR(stream_duration(clip, "audio"), stream_duration(clip, "video"), FRAME);

  // Each word starts in the picture as it starts in the sound, the last after 20 joins too.
  const std::vector<Silence> silences = detect_silences(path_to_utf8(clip), "-35dB", "0.05");
  const std::vector<double> pictures = bright_onsets(clip);
  ASSERT_EQ(silences.size(), 22u);  // before each word, and the 0.05 s after the last
  ASSERT_EQ(pictures.size(), 21u);
  for (size_t k = 0; k < pictures.size(); ++k) {
    EXPECT_NEAR(pictures[k], silences[k].end, FRAME) << "word " << k + 1;
    EXPECT_LT(silences[k].end - silences[k].start, 0.2) << "a pause of pause_min or more stayed";
  }

  const MeasuredLoudness loudness = measured_loudness(clip);
  EXPECT_NEAR(loudness.integrated, -16.0, 1.0);
  EXPECT_LE(loudness.true_peak, -1.0);
  EXPECT_TRUE(no_graph_file_left());
}

// An audio recording gets the same cuts, to the sample; with 64 pauses the graph is too long for
// a command line and goes to FFmpeg in a file, which is gone afterwards. Pauses shorter than the
// speech trim's silences are found as well.
TEST_F(JumpCutsMedia, AnAudioRecordingLosesManyShortPausesToTheSample) {
  const fs::path recording = work_ / "stimme.flac";
  make_marked_talk(recording, {0.2, 65, 0.15, 0.18, 0.5}, 0.3);
  const ChildLog children;
  const fs::path clip = cut(recording, cfg(0.15, 0.04));
  ASSERT_FALSE(clip.empty());
  EXPECT_TRUE(children.ran_with("-filter_complex_script"));
  EXPECT_EQ(children.runs_of("ffmpeg"), 3);
  // 0.1 s before the first word, 0.05 s after the last, 0.08 s of each pause.
  const double expected = 0.1 + 65 * 0.15 + 64 * 0.08 + 0.05;
  const ClipFacts facts = get_duration_and_handles(path_to_utf8(clip));
  EXPECT_NEAR(facts.duration, expected, 0.002);
  ASSERT_TRUE(facts.handles.has_value());
  EXPECT_NEAR(facts.handles->c_out, expected, 0.002);
  EXPECT_EQ(facts.cuts.size(), 64u);
  const std::vector<Silence> silences = detect_silences(path_to_utf8(clip), "-35dB", "0.02");
  ASSERT_EQ(silences.size(), 66u);  // before the first word, between the words, after the last
  for (size_t k = 1; k + 1 < silences.size(); ++k)
    EXPECT_NEAR(silences[k].end - silences[k].start, 0.08, 0.005) << k;
  EXPECT_TRUE(no_graph_file_left());
}

// Without jump cuts the gain and the limiter go into the encode's sound filter, of an audio
// recording here, whose peaks the AAC encoder must not push above -1 dBTP.
TEST_F(JumpCutsMedia, TheLoudnessTargetAloneBringsAnAudioClipThere) {
  const fs::path recording = work_ / "stimme.m4a";
  make_marked_talk(recording, {0.2, 8, 0.3, 0.2, 0.3}, 0.3, 0.1);
  Json settings = cfg(0.5, 0.15);
  settings.erase("cut_pauses");
  settings["loudness_target"] = -20.0;
  const fs::path clip = cut(recording, settings);
  ASSERT_FALSE(clip.empty());
  EXPECT_TRUE(get_duration_and_handles(path_to_utf8(clip)).cuts.empty());
  const MeasuredLoudness loudness = measured_loudness(clip);
  EXPECT_NEAR(loudness.integrated, -20.0, 1.0);
  EXPECT_LE(loudness.true_peak, -1.0);
}

#endif
