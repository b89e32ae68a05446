#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Where CapCut keeps its projects. A user may move them: CapCut then records the folder as
// currentCustomDraftPath in the [General] section of its settings file User Data/Config/
// globalSetting, an INI file in Qt's form.

// The value of currentCustomDraftPath in section [General] of the INI text, with Qt's escapes
// undone (a doubled backslash, an escaped quote, \xHHHH); nothing when the key is absent or
// empty, or its value is no single plain text (a list, a variant, an unknown escape, invalid
// UTF-8, more than 4096 bytes).
std::optional<std::string> custom_draft_path_in(const std::string& settings_text);

// The folder holding CapCut's projects and their registry: the absolute, existing folder that
// the settings file beside `default_dir` names (default_dir is User Data/Projects/
// com.lveditor.draft, the settings file User Data/Config/globalSetting), else `default_dir`. A
// settings file that cannot be read, or is larger than any CapCut writes, changes nothing.
std::filesystem::path capcut_drafts_dir(const std::filesystem::path& default_dir);
