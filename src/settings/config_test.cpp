#include "settings/config.h"

#include <gtest/gtest.h>

#include "settings/constants.h"
#include "settings/error_log.h"
#include "settings/path_text.h"
#include "support/test_util.h"

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  ScopedTempDir home;
  FixedPaths paths = fixed_paths_for_home(home.path());
};

}  // namespace

TEST_F(SettingsFile, WithoutAFileTheEightDefaultsComeInOrder) {
  const Json cfg = load_cfg(paths);
  EXPECT_EQ(cfg["output_folder"], path_to_utf8(home.path() / "Desktop"));
  Json others = cfg;
  others.erase("output_folder");
  EXPECT_EQ(json_line_text(others),
            "{\"silence_threshold\": \"-35dB\", \"silence_duration\": 0.5, \"suffix\": "
            "\"_cut\", \"trim_silence\": true, \"trim_padding\": 3.0, \"resolution\": "
            "\"Hochformat 1080x1920\", \"add_padding\": 0.0}");
  EXPECT_FALSE(fs::exists(paths.cfg_file));
}

TEST_F(SettingsFile, FileValuesReplaceInPlaceExtraKeysFollowResolutionIsReset) {
  write_text_file(paths.cfg_file,
                  R"({"foo": [1, 2], "suffix": "_final", "resolution": "Querformat 1920x1080",)"
                  R"( "trim_padding": 2, "add_padding": 0.25})");
  const Json cfg = load_cfg(paths);
  std::vector<std::string> keys;
  for (auto it = cfg.begin(); it != cfg.end(); ++it)
    keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"output_folder", "silence_threshold",
                                            "silence_duration", "suffix", "trim_silence",
                                            "trim_padding", "resolution", "add_padding", "foo"}));
  EXPECT_EQ(cfg["suffix"], "_final");
  EXPECT_EQ(cfg["resolution"], "Hochformat 1080x1920");
  EXPECT_TRUE(cfg["trim_padding"].is_number_integer());  // 2 stays an integer
  EXPECT_EQ(json_line_text(cfg["foo"]), "[1, 2]");
}

TEST_F(SettingsFile, BrokenFilesLeaveTheDefaults) {
  const std::string broken[] = {"{not json",
                                "[1, 2]",
                                "",
                                "\"text\"",
                                "{\"suffix\": \"\xff\"}",
                                "\xEF\xBB\xBF{\"suffix\": \"_bom\"}"};
  for (const std::string& content : broken) {
    write_text_file(paths.cfg_file, content);
    EXPECT_EQ(load_cfg(paths), default_cfg(paths.desktop)) << content;
  }
  fs::remove(paths.cfg_file);
  fs::create_directories(paths.cfg_file);  // a folder in its place
  EXPECT_EQ(load_cfg(paths), default_cfg(paths.desktop));
}

TEST_F(SettingsFile, SaveWritesTheIndentedLayoutAndKeepsExtraKeys) {
  Json cfg = default_cfg(home.path() / "Desktop" / path_from_utf8("Übergröße"));
  cfg["foo"] = "bar";
  save_cfg(cfg, paths);
  const std::string text = read_text_file(paths.cfg_file);
  EXPECT_EQ(text.rfind("{\n  \"output_folder\": ", 0), 0u);
  EXPECT_NE(text.find("\"trim_padding\": 3.0,\n"), std::string::npos);
  EXPECT_NE(text.find("Übergröße"), std::string::npos);
  EXPECT_NE(text.find("  \"foo\": \"bar\"\n}"), std::string::npos);
  EXPECT_NE(text.back(), '\n');
  EXPECT_EQ(load_cfg(paths)["foo"], "bar");
  // Nothing but the settings file is left in the home folder.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home.path()))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFile, SaveIntoAMissingFolderIsSilent) {
  const FixedPaths nowhere = fixed_paths_for_home(home.path() / "missing");
  EXPECT_NO_THROW(save_cfg(default_cfg(nowhere.desktop), nowhere));
  EXPECT_FALSE(fs::exists(nowhere.cfg_file));
}

TEST(AudioFiles, AreKnownByTheirExtensionAlone) {
  EXPECT_TRUE(is_audio_file("song.MP3"));
  EXPECT_TRUE(is_audio_file("/a/take.wav"));
  EXPECT_TRUE(is_audio_file("voice.opus"));
  EXPECT_FALSE(is_audio_file("clip.mp4"));
  EXPECT_FALSE(is_audio_file("noextension"));
  EXPECT_FALSE(is_audio_file(".wav"));
  EXPECT_FALSE(is_audio_file("/music.wav/readme"));
}

TEST(AudioOutputs, FollowTheRecordingsExtension) {
  EXPECT_EQ(audio_output_for(".WAV").extension, ".wav");
  EXPECT_EQ(audio_output_for(".flac").codec_args, (std::vector<std::string>{"-c:a", "flac"}));
  EXPECT_EQ(audio_output_for(".ogg").extension, ".m4a");
  EXPECT_EQ(audio_output_for(".ogg").codec_args,
            (std::vector<std::string>{"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart"}));
  EXPECT_EQ(frame_size_for("Querformat 1920x1080").width, 1920);
  EXPECT_THROW(frame_size_for("4K"), std::runtime_error);
}

TEST_F(SettingsFile, ErrorLogHoldsOnlyTheLatestReportEndingWithTypeAndMessage) {
  fs::create_directories(paths.desktop);
  log_exception(std::runtime_error("erster Fehler"), paths);
  log_exception(std::invalid_argument("zweiter Fehler – ä"), paths);
  const std::string report = read_text_file(paths.error_log);
  EXPECT_EQ(report.find("erster"), std::string::npos);
  const std::string last_line = "std::invalid_argument: zweiter Fehler – ä\n";
  ASSERT_GE(report.size(), last_line.size());
  EXPECT_EQ(report.substr(report.size() - last_line.size()), last_line);
}

TEST_F(SettingsFile, ErrorLogDoesNotCreateTheDesktop) {
  log_exception(std::runtime_error("x"), paths);
  EXPECT_FALSE(fs::exists(paths.desktop));
}
