// Decisions of the user-defined key: what is stored, which folder the chosen
// program starts in, and the activity-log lines of the hotkey.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx {

inline constexpr char kUserDefineWorkLine[] = "Function of User Define work";
inline constexpr char kUserDefineFailLine[] = "Function of User Define don't work";
inline constexpr char kUserDefineDialogLine[] = "Open Dialog of User Define .............";

// The lines (log kind 4) after the hotkey started the chosen program, or
// tried to: the first says truthfully whether the start succeeded.
std::vector<std::string> UserDefineStartLines(bool started, std::string_view fileName);
// The lines after the hotkey showed the choice dialog instead.
std::vector<std::string> UserDefineDialogLines();

// A settings text the program can read back (128-byte buffer): at most 127
// characters. Longer ones are refused when written.
bool IsStorableSettingText(std::string_view text);

// The name and extension of a path: what follows its last backslash or slash.
std::string FileNamePart(std::string_view path);

// The folder a chosen program starts in: its own (empty when the path names none).
std::string StartFolder(std::string_view programPath);

}  // namespace vx
