#include "user_define.h"

#include "tray_rules.h"

namespace vx {

std::vector<std::string> UserDefineStartLines(bool started, std::string_view fileName) {
    // "Open %s  ............." filled with the file name.
    return {started ? kUserDefineWorkLine : kUserDefineFailLine,
            "Open " + std::string(fileName) + "  ............."};
}

std::vector<std::string> UserDefineDialogLines() { return {kUserDefineFailLine, kUserDefineDialogLine}; }

bool IsStorableSettingText(std::string_view text) { return text.size() < kSettingBufferSize; }

std::string FileNamePart(std::string_view path) {
    std::size_t cut = path.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string StartFolder(std::string_view programPath) {
    std::size_t cut = programPath.find_last_of("\\/");
    if (cut == std::string_view::npos) return {};
    // "C:\prog.exe" starts in "C:\", "C:\Tools\prog.exe" in "C:\Tools".
    if (cut == 2 && programPath[1] == ':') return std::string(programPath.substr(0, 3));
    return std::string(programPath.substr(0, cut));
}

}  // namespace vx
