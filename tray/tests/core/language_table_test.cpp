// The shipped language table: every section holds every key the program
// reads (the OSD's spoken texts too), with a non-empty text, stored in its
// language's ANSI code page.
#include "announcements.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Section = std::map<std::string, std::string>;

const char* const kKeys[] = {
    "IDS_USERDEFINE_DOC",       "IDS_MENUITEM_USERDEFINE",      "IDS_MENUITEM_ABOUT",
    "IDS_MENUITEM_EXIT",        "IDS_BUTTON_OK",                "IDS_BUTTON_CANCEL",
    "IDS_BUTTON_BROWSE",        "IDS_BUTTON_REMOVE",            "IDS_USERDEFINE_CURRENT",
    "IDS_USERDEFINE_BT_DF_DOC", "IDS_USERDEFINE_BT_BROWSE_DOC", "IDS_USERDEFINE_BT_REMOVE_DOC",
    "IDS_USERDEFINE_PATH_TOO_LONG",
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Splits INI bytes into sections of key=value lines (CR LF or LF ends).
std::map<std::string, Section> ParseIni(const std::string& bytes) {
    std::map<std::string, Section> sections;
    Section* current = nullptr;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            current = &sections[line.substr(1, line.size() - 2)];
        } else if (auto eq = line.find('='); current && eq != std::string::npos) {
            (*current)[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return sections;
}

// Strict decoding: fails on any byte sequence the code page does not define.
bool DecodeToUtf8(const std::string& bytes, const char* codepage, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", codepage);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* o = result.data();
    size_t outLeft = result.size();
    bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    result.resize(result.size() - outLeft);
    out = result;
    return ok;
}

TEST(LanguageTable, EverySectionIsCompleteAndInItsCodePage) {
    const auto table = ParseIni(ReadFile(ZEL_DATA_DIR "/StringTable/Language.ini"));
    struct Lang { const char* section; const char* codepage; bool multibyte; };
    const Lang langs[] = {{"1033", "CP1252", false}, {"1042", "CP949", true}, {"1028", "CP950", true}};
    for (const auto& lang : langs) {
        SCOPED_TRACE(lang.section);
        auto it = table.find(lang.section);
        ASSERT_NE(it, table.end());
        const auto source = ParseIni(ReadFile(std::string(ZEL_DATA_DIR "/src/language/") + lang.section + ".ini"));
        const Section& wanted = source.at(lang.section);
        std::vector<const char*> keys(std::begin(kKeys), std::end(kKeys));
        keys.insert(keys.end(), std::begin(vx::kSpokenKeys), std::end(vx::kSpokenKeys));
        for (const char* key : keys) {
            SCOPED_TRACE(key);
            auto value = it->second.find(key);
            ASSERT_NE(value, it->second.end());
            ASSERT_FALSE(value->second.empty());
            std::string decoded;
            ASSERT_TRUE(DecodeToUtf8(value->second, lang.codepage, decoded));
            EXPECT_EQ(decoded, wanted.at(key));
            // A level's text says where its number goes.
            const std::string name = key;
            if (name == "IDS_SPEAK_VOLUME" || name == "IDS_SPEAK_BRIGHTNESS") {
                EXPECT_NE(decoded.find("%1"), std::string::npos);
            }
            // Asian texts really are in their own script, not left in English.
            bool hasHighBytes = false;
            for (unsigned char c : value->second) hasHighBytes |= c >= 0x80;
            EXPECT_EQ(hasHighBytes, lang.multibyte);
        }
    }
}

}  // namespace
