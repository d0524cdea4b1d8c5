#include "tray_rules.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Table = std::map<std::string, std::map<std::string, std::string>>;

vx::LanguageLookup LookupIn(const Table& table) {
    return [&table](const std::string& section, const std::string& key) -> std::string {
        auto s = table.find(section);
        if (s == table.end()) return {};
        auto k = s->second.find(key);
        return k == s->second.end() ? std::string() : k->second;
    };
}

TEST(TrayRules, LanguageSectionFallsBackWhole) {
    const Table table = {
        {"1033", {{"IDS_USERDEFINE_DOC", "Choose a program"}, {"IDS_MENUITEM_EXIT", "Exit"}}},
        {"1042", {{"IDS_USERDEFINE_DOC", "k"}, {"IDS_MENUITEM_EXIT", "k-exit"}}},
        // A section with every text but the probe is never used.
        {"1028", {{"IDS_MENUITEM_EXIT", "c-exit"}}},
        {"1041", {{"IDS_USERDEFINE_DOC", ""}}},
    };
    struct Case { std::uint16_t lang; const char* section; };
    const Case cases[] = {{1042, "1042"}, {1028, "1033"}, {1041, "1033"}, {1036, "1033"}, {1033, "1033"}};
    for (const auto& c : cases) EXPECT_EQ(vx::ChooseLanguageSection(c.lang, LookupIn(table)), c.section) << c.lang;
}

TEST(TrayRules, ProgramDirectoryAndFilesBesideIt) {
    EXPECT_EQ(vx::ProgramDirectory("C:\\PROGRA~1\\VORLIX~1\\Vorlix.exe"), "C:\\PROGRA~1\\VORLIX~1\\");
    EXPECT_EQ(vx::ProgramDirectory("Vorlix.exe"), "");
    EXPECT_EQ(vx::BesideProgram("C:\\PROGRA~1\\VORLIX~1\\", vx::kLanguageTableName),
              "C:\\PROGRA~1\\VORLIX~1\\StringTable\\Language.ini");
}

TEST(TrayRules, SettingTextsFitIn128Bytes) {
    EXPECT_EQ(vx::SettingTextFromData("TRUE\0", 5), "TRUE");
    EXPECT_EQ(vx::SettingTextFromData("ab\0cd", 5), "ab");
    const std::string fits(127, 'v'), tooLong(128, 'v');
    EXPECT_EQ(vx::SettingTextFromData(fits.c_str(), fits.size() + 1), fits);
    // Stored without a terminator: still read as text, never past the data.
    EXPECT_EQ(vx::SettingTextFromData(fits.data(), fits.size()), fits);
    EXPECT_FALSE(vx::SettingTextFromData(tooLong.c_str(), tooLong.size() + 1));
    EXPECT_FALSE(vx::SettingTextFromData(tooLong.data(), tooLong.size()));
}

TEST(TrayRules, LoggingFlagIsExactlyTRUE) {
    EXPECT_TRUE(vx::IsLoggingFlagOn("TRUE"));
    for (const char* text : {"true", "FALSE", "", "TRUE "}) EXPECT_FALSE(vx::IsLoggingFlagOn(text)) << text;
}

TEST(TrayRules, TrayMenuItems) {
    using V = std::vector<int>;
    EXPECT_EQ(vx::TrayMenuItems(false, ""), (V{337, 336}));
    EXPECT_EQ(vx::TrayMenuItems(false, "NONE"), (V{337, 336}));
    EXPECT_EQ(vx::TrayMenuItems(false, "C:\\windows\\notepad.exe"), (V{338, 337, 336}));
    EXPECT_EQ(vx::TrayMenuItems(true, "C:\\windows\\notepad.exe"), (V{337, 336}));
}

TEST(TrayRules, AboutBoxLabels) {
    EXPECT_EQ(vx::ProductVersionLabel(std::nullopt), "NONE");
    EXPECT_EQ(vx::ProductVersionLabel(std::string("1.0.3")), "1.0.3");
    EXPECT_EQ(vx::AslVersionLabel(std::nullopt), "NONE");
    EXPECT_EQ(vx::AslVersionLabel(std::string("17")), "17");
}

TEST(TrayRules, MakersBiosSignature) {
    struct Case { const char* version; bool makers; };
    const Case cases[] = {
        {"ABCDEFQZ", true},      {"ABCDEFQZ.0211", true}, {"ABCDEFQY", false},
        {"ABCDEFGQZ", false},    {"ABCQZ", true},         {"AQZ", true},  {"QZ", true},
        {"Z", false},            {"", false},             {"abcdefqz", false},
    };
    for (const auto& c : cases) EXPECT_EQ(vx::IsMakersBios(c.version), c.makers) << c.version;
}

TEST(TrayRules, LoggingToggleRoundTrip) {
    auto on = vx::ToggleLogging(false);
    EXPECT_TRUE(on.on);
    EXPECT_STREQ(on.registryText, "TRUE");
    EXPECT_STREQ(on.label, "Logging");
    auto off = vx::ToggleLogging(on.on);
    EXPECT_FALSE(off.on);
    EXPECT_STREQ(off.registryText, "FALSE");
    EXPECT_STREQ(off.label, "");
}

TEST(TrayRules, PowerSourceData) {
    EXPECT_EQ(vx::OnMainsFromPowerSource(4, 0), true);
    EXPECT_EQ(vx::OnMainsFromPowerSource(4, 1), false);
    EXPECT_EQ(vx::OnMainsFromPowerSource(4, 2), std::nullopt);
    EXPECT_EQ(vx::OnMainsFromPowerSource(1, 0), std::nullopt);
}

}  // namespace
