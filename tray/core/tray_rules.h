// Decisions of the tray program that need no Windows: where its files are,
// which language section to read, what the tray menu offers, what the about
// box shows, and how settings texts are read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// ---- Files beside the program ----

// The directory part of a module file name: everything up to and including
// the last backslash (empty when there is none).
std::string ProgramDirectory(std::string_view moduleFileName);

// A file beside the program: the directory (ending in a backslash) followed by
// the relative name.
std::string BesideProgram(std::string_view directory, std::string_view relativeName);

inline constexpr char kLanguageTableName[] = "StringTable\\Language.ini";
inline constexpr char kUserDefinePresetName[] = "UserDefine.ini";

// ---- Language table ----

inline constexpr char kFallbackSection[] = "1033";
inline constexpr char kProbeKey[] = "IDS_USERDEFINE_DOC";

// Reads one text of the table; an empty text when the section or key is missing.
using LanguageLookup = std::function<std::string(const std::string& section, const std::string& key)>;

// The section named by the UI language, or "1033" when that section has no
// (or an empty) probe text: a section is used whole or not at all.
std::string ChooseLanguageSection(std::uint16_t uiLanguage, const LanguageLookup& lookup);

// ---- Settings ----

// Registry texts are read into a 128-byte buffer: a text of 128 characters or
// more does not fit and counts as missing. The data need not carry its own
// terminator; the text ends at the first zero byte or at the end of the data.
inline constexpr std::size_t kSettingBufferSize = 128;
std::optional<std::string> SettingTextFromData(const char* data, std::size_t size);

// Logging is on only for the exact text "TRUE".
bool IsLoggingFlagOn(std::string_view registryText);

// A user-defined program is chosen when its stored path is neither empty nor "NONE".
bool IsUserProgramChosen(std::string_view storedPath);

// ---- Tray menu ----

inline constexpr int kMenuUserDefine = 338;
inline constexpr int kMenuAbout = 337;
inline constexpr int kMenuExit = 336;

// The items of the tray menu, top to bottom. The user-defined key item shows
// only without a preset file and with a program chosen.
std::vector<int> TrayMenuItems(bool presetActive, std::string_view storedPath);

// The language-table key of a tray menu item's text.
const char* MenuItemTextKey(int itemId);

// ---- About box ----

inline constexpr char kNoVersion[] = "NONE";

// The product version label: the registry text, or "NONE" when it is missing.
std::string ProductVersionLabel(const std::optional<std::string>& registryText);

// The firmware interface version label: the reply text, or "NONE" when the
// service did not answer.
std::string AslVersionLabel(const std::optional<std::string>& reply);

// The maker's own BIOS: of the version text's first 8 characters, the last 2
// are "QZ" (shorter texts use what they have).
bool IsMakersBios(std::string_view biosVersion);

// The logging switch of the about box: the new state, the registry text that
// remembers it and the label the box shows.
struct LoggingToggle {
    bool on;
    const char* registryText;
    const char* label;
};
LoggingToggle ToggleLogging(bool currentlyOn);
const char* LoggingLabel(bool on);

// ---- Power ----

// The power-source setting's data: 0 is mains, 1 is battery; any other value
// or length changes nothing.
std::optional<bool> OnMainsFromPowerSource(std::uint32_t dataLength, std::uint32_t data);

}  // namespace vx
