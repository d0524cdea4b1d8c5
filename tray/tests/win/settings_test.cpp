// Settings and language table through the real Windows calls.
#include "child_process.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr char kTestKey[] = "Software\\ZEL\\VorlixSettingsTest";

class Settings : public ::testing::Test {
protected:
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
};

TEST_F(Settings, RegistryTextsUpTo127Characters) {
    const std::string fits(127, 'v'), tooLong(128, 'v');
    vx::WriteRegistryText(HKEY_CURRENT_USER, kTestKey, "fits", fits);
    vx::WriteRegistryText(HKEY_CURRENT_USER, kTestKey, "long", tooLong);
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "fits"), fits);
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "long"), std::nullopt);
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "missing"), std::nullopt);
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, "Software\\ZEL\\NoSuchKey", "fits"), std::nullopt);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    // 128 bytes of text without a terminator fill the buffer exactly: too long.
    RegSetValueExA(key, "unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(tooLong.data()), 128);
    RegSetValueExA(key, "short-unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("TRUE"), 4);
    DWORD number = 1;
    RegSetValueExA(key, "number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "unterminated"), std::nullopt);
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "short-unterminated"), std::string("TRUE"));
    EXPECT_EQ(vx::ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "number"), std::nullopt);
}

class LanguageTable : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "Vorlix language table test with a long name\\";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        CreateDirectoryA((m_dir + "StringTable").c_str(), nullptr);
        std::ofstream ini(m_dir + "StringTable\\Language.ini", std::ios::binary);
        ini << "[1033]\r\nIDS_USERDEFINE_DOC=Choose\r\nIDS_MENUITEM_EXIT=Exit\r\n"
            << "[1028]\r\nIDS_MENUITEM_EXIT=Leave-1028\r\n"
            << "[1042]\r\nIDS_USERDEFINE_DOC=\xBC\xB1\xC5\xC3\r\nIDS_MENUITEM_EXIT=\xC1\xBE\xB7\xE1\r\n";
    }
    void TearDown() override {
        DeleteFileA((m_dir + "StringTable\\Language.ini").c_str());
        RemoveDirectoryA((m_dir + "StringTable").c_str());
        RemoveDirectoryA(m_dir.c_str());
    }
    std::string m_dir;
};

TEST_F(LanguageTable, SectionChoiceAndFallback) {
    struct Case { LANGID lang; const char* section; const char* exitText; };
    const Case cases[] = {
        {1042, "1042", "\xC1\xBE\xB7\xE1"},  // Korean, code page 949 bytes as stored
        {1041, "1033", "Exit"},              // no section for Japanese
        {1028, "1033", "Exit"},              // section without the probe key
    };
    for (const auto& c : cases) {
        auto selection = vx::SelectLanguageSection(m_dir, c.lang);
        EXPECT_EQ(selection.section, c.section) << c.lang;
        EXPECT_EQ(vx::ReadLanguageText(selection, "IDS_MENUITEM_EXIT"), c.exitText) << c.lang;
        EXPECT_EQ(vx::ReadLanguageText(selection, "IDS_NO_SUCH_KEY"), "") << c.lang;
    }
    // No table at all: every text is empty.
    auto none = vx::SelectLanguageSection(m_dir + "missing\\", 1033);
    EXPECT_EQ(vx::ReadLanguageText(none, "IDS_MENUITEM_EXIT"), "");
}

TEST(ShippedLanguageTable, EveryLanguageHasTheMenuTexts) {
    for (LANGID lang : {1033, 1042, 1028}) {
        auto selection = vx::SelectLanguageSection(vxtest::BinDir(), lang);
        EXPECT_EQ(selection.section, std::to_string(lang));
        for (const char* key : {"IDS_MENUITEM_ABOUT", "IDS_MENUITEM_EXIT", "IDS_MENUITEM_USERDEFINE", "IDS_BUTTON_OK"})
            EXPECT_NE(vx::ReadLanguageText(selection, key), "") << lang << " " << key;
    }
}

}  // namespace
