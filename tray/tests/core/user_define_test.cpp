#include "user_define.h"

#include <gtest/gtest.h>

namespace {

TEST(UserDefine, LogLinesSayWhetherTheStartWorked) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(vx::UserDefineStartLines(true, "calc.exe"),
              (Lines{"Function of User Define work", "Open calc.exe  ............."}));
    EXPECT_EQ(vx::UserDefineStartLines(false, "calc.exe"),
              (Lines{"Function of User Define don't work", "Open calc.exe  ............."}));
    EXPECT_EQ(vx::UserDefineDialogLines(),
              (Lines{"Function of User Define don't work", "Open Dialog of User Define ............."}));
}

TEST(UserDefine, StorableTextsAreThoseTheReaderCanReturn) {
    EXPECT_TRUE(vx::IsStorableSettingText(""));
    EXPECT_TRUE(vx::IsStorableSettingText(std::string(127, 'a')));
    EXPECT_FALSE(vx::IsStorableSettingText(std::string(128, 'a')));
}

TEST(UserDefine, NameAndStartFolderOfAPath) {
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
    } cases[] = {
        {"C:\\Tools\\Sub\\prog.exe", "prog.exe", "C:\\Tools\\Sub"},
        {"C:\\prog.exe", "prog.exe", "C:\\"},
        {"Z:/unix/style/run.bat", "run.bat", "Z:/unix/style"},
        {"prog.exe", "prog.exe", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vx::FileNamePart(c.path), c.name) << c.path;
        EXPECT_EQ(vx::StartFolder(c.path), c.folder) << c.path;
    }
}

}  // namespace
