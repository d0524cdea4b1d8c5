#include "tray_rules.h"

#include <cstring>

namespace vx {

std::string ProgramDirectory(std::string_view moduleFileName) {
    std::size_t cut = moduleFileName.rfind('\\');
    if (cut == std::string_view::npos) return {};
    return std::string(moduleFileName.substr(0, cut + 1));
}

std::string BesideProgram(std::string_view directory, std::string_view relativeName) {
    std::string path(directory);
    path += relativeName;
    return path;
}

std::string ChooseLanguageSection(std::uint16_t uiLanguage, const LanguageLookup& lookup) {
    std::string section = std::to_string(uiLanguage);
    if (lookup(section, kProbeKey).empty()) section = kFallbackSection;
    return section;
}

std::optional<std::string> SettingTextFromData(const char* data, std::size_t size) {
    const void* zero = std::memchr(data, '\0', size);
    std::size_t len = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : size;
    if (len >= kSettingBufferSize) return std::nullopt;
    return std::string(data, len);
}

bool IsLoggingFlagOn(std::string_view registryText) { return registryText == "TRUE"; }

bool IsUserProgramChosen(std::string_view storedPath) {
    return !storedPath.empty() && storedPath != "NONE";
}

std::vector<int> TrayMenuItems(bool presetActive, std::string_view storedPath) {
    std::vector<int> items;
    if (!presetActive && IsUserProgramChosen(storedPath)) items.push_back(kMenuUserDefine);
    items.push_back(kMenuAbout);
    items.push_back(kMenuExit);
    return items;
}

const char* MenuItemTextKey(int itemId) {
    switch (itemId) {
    case kMenuUserDefine: return "IDS_MENUITEM_USERDEFINE";
    case kMenuAbout: return "IDS_MENUITEM_ABOUT";
    case kMenuExit: return "IDS_MENUITEM_EXIT";
    default: return "";
    }
}

std::string ProductVersionLabel(const std::optional<std::string>& registryText) {
    return registryText ? *registryText : kNoVersion;
}

std::string AslVersionLabel(const std::optional<std::string>& reply) {
    return reply ? *reply : kNoVersion;
}

bool IsMakersBios(std::string_view biosVersion) {
    std::string_view head = biosVersion.substr(0, 8);
    std::string_view tail = head.size() > 2 ? head.substr(head.size() - 2) : head;
    return tail == "QZ";
}

LoggingToggle ToggleLogging(bool currentlyOn) {
    if (currentlyOn) return {false, "FALSE", LoggingLabel(false)};
    return {true, "TRUE", LoggingLabel(true)};
}

const char* LoggingLabel(bool on) { return on ? "Logging" : ""; }

std::optional<bool> OnMainsFromPowerSource(std::uint32_t dataLength, std::uint32_t data) {
    if (dataLength != 4) return std::nullopt;
    if (data == 0) return true;
    if (data == 1) return false;
    return std::nullopt;
}

}  // namespace vx
