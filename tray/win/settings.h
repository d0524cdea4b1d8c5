// Where the tray program finds its files and keeps its settings.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vx {

// Registry keys and values of the tray program.
inline constexpr char kSettingsKey[] = "Software\\ZEL\\Corvane";
inline constexpr char kLogFileKey[] = "Software\\ZEL\\Corvane\\Log File";
inline constexpr char kLogFileFlagValue[] = "Log File Flag";
inline constexpr char kUserDefineKey[] = "Software\\ZEL\\Corvane\\User Define Key";
inline constexpr char kUserDefinePathValue[] = "UserDefineFilePath";
inline constexpr char kUserDefineNameValue[] = "UserDefineFileName";
inline constexpr char kProductKey[] = "SOFTWARE\\ZEL\\Corvane";
inline constexpr char kProductVersionValue[] = "Version";

// The program's own directory in short (8.3) form, ending in a backslash.
// The long form is kept when no short form can be made.
std::string ProgramDirectoryShort();

// A REG_SZ text of at most 127 characters, or nothing when the key or value
// is missing, is not text, or is too long.
std::optional<std::string> ReadRegistryText(HKEY root, const char* key, const char* value);

// Creates the key when needed and stores the text as REG_SZ; failures are
// silent for the user, as for every settings write of the program; the
// result tells whether the text was stored.
bool WriteRegistryText(HKEY root, const char* key, const char* value, const std::string& text);

// The language table's path and the section every text is read from.
struct LanguageSelection {
    std::string path;
    std::string section;
};

LanguageSelection SelectLanguageSection();
// The same choice for a given table directory and UI language.
LanguageSelection SelectLanguageSection(const std::string& programDirectory, LANGID uiLanguage);

// A text of the language table; empty when the file, section or key is missing.
std::string ReadLanguageText(const LanguageSelection& selection, const char* key);

// The preset program of the user-defined key ("UserDefine.ini" beside the
// program), when that file exists: its path is written to the registry at
// start-up and the tray menu then offers no choice.
struct UserDefinePreset {
    bool present = false;
    std::string programPath;
};
UserDefinePreset ReadUserDefinePreset(const std::string& programDirectory);

}  // namespace vx
