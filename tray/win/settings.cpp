#include "settings.h"

#include "handles.h"
#include "tray_rules.h"

#include <vector>

namespace vx {

namespace {

constexpr DWORD kPathBufferSize = 512;
constexpr DWORD kLanguageTextSize = 2048;

}  // namespace

std::string ProgramDirectoryShort() {
    char module[kPathBufferSize] = {};
    DWORD len = GetModuleFileNameA(nullptr, module, kPathBufferSize);
    if (len == 0 || len >= kPathBufferSize) return {};
    std::string directory = ProgramDirectory(module);
    char shortForm[kPathBufferSize] = {};
    DWORD shortLen = GetShortPathNameA(directory.c_str(), shortForm, kPathBufferSize);
    if (shortLen == 0 || shortLen >= kPathBufferSize) return directory;
    return shortForm;
}

std::optional<std::string> ReadRegistryText(HKEY root, const char* key, const char* value) {
    UniqueRegKey hkey;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, hkey.Receive()) != ERROR_SUCCESS) return std::nullopt;
    // One byte more than the settings buffer, so a text that fills it without
    // a terminator is seen as too long instead of being read past its end.
    char data[kSettingBufferSize + 1] = {};
    DWORD type = 0;
    DWORD size = kSettingBufferSize;
    if (RegQueryValueExA(hkey.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    return SettingTextFromData(data, size);
}

bool WriteRegistryText(HKEY root, const char* key, const char* value, const std::string& text) {
    UniqueRegKey hkey;
    char keyClass[] = " ";
    if (RegCreateKeyExA(root, key, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, hkey.Receive(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(hkey.Get(), value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

LanguageSelection SelectLanguageSection() {
    return SelectLanguageSection(ProgramDirectoryShort(), GetUserDefaultUILanguage());
}

LanguageSelection SelectLanguageSection(const std::string& programDirectory, LANGID uiLanguage) {
    LanguageSelection selection;
    selection.path = BesideProgram(programDirectory, kLanguageTableName);
    selection.section = ChooseLanguageSection(uiLanguage, [&](const std::string& section, const std::string& key) {
        return ReadLanguageText({selection.path, section}, key.c_str());
    });
    return selection;
}

std::string ReadLanguageText(const LanguageSelection& selection, const char* key) {
    std::vector<char> text(kLanguageTextSize, '\0');
    GetPrivateProfileStringA(selection.section.c_str(), key, "", text.data(), kLanguageTextSize,
                             selection.path.c_str());
    return text.data();
}

UserDefinePreset ReadUserDefinePreset(const std::string& programDirectory) {
    UserDefinePreset preset;
    std::string path = BesideProgram(programDirectory, kUserDefinePresetName);
    WIN32_FIND_DATAA found;
    UniqueFind find(FindFirstFileA(path.c_str(), &found));
    if (!find) return preset;
    char program[kPathBufferSize] = {};
    GetPrivateProfileStringA("KIV", "KIV", "", program, kPathBufferSize, path.c_str());
    preset.present = true;
    preset.programPath = program;
    return preset;
}

}  // namespace vx
