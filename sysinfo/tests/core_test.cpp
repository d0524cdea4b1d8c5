// The viewer's platform-free rules: trimming, the inventory table, the EC
// version text, the method path and the instance walk's notes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "viewer_rules.h"

using namespace quillon;

TEST(Trim, OnlySpacesAndOnlyWhereTheRuleSays) {
    struct Case {
        const char* in;
        Trim trim;
        const char* out;
    } cases[] = {
        {" Emulated GPU  ", Trim::TrailingThenLeading, "Emulated GPU"},
        {" 1.07 ", Trim::Trailing, " 1.07"},
        {"\tA\t ", Trim::TrailingThenLeading, "\tA\t"},  // tabs are not spaces
        {"   ", Trim::TrailingThenLeading, ""},
        {"   ", Trim::Trailing, ""},
        {"", Trim::Trailing, ""},
        {"a  b", Trim::TrailingThenLeading, "a  b"},
    };
    for (const Case& c : cases) EXPECT_EQ(TrimSpaces(c.in, c.trim), c.out) << '"' << c.in << '"';
}

TEST(Inventory, EveryTextReadOnceAndOnlyTheNamesDefaultToUnknownAndLoseLeadingSpaces) {
    std::set<InventoryText> seen;
    std::set<InventoryText> unknown;
    for (const InventoryClass& cls : InventoryClasses())
        for (const InventoryProperty& p : cls.properties) {
            EXPECT_TRUE(seen.insert(p.text).second) << p.name;
            if (cls.unknownDefault) unknown.insert(p.text);
        }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kInventoryTextCount));
    const std::set<InventoryText> names = {InventoryText::ProcessorName, InventoryText::SoundDeviceName,
                                           InventoryText::VideoControllerName};
    EXPECT_EQ(unknown, names);
    for (InventoryText t : seen)
        EXPECT_EQ(TrimFor(t) == Trim::TrailingThenLeading, names.count(t) == 1) << static_cast<int>(t);
}

TEST(EcVersion, TwoUpperCaseHexDigitsPerByteNeverSignExtended) {
    struct Case {
        std::uint32_t reading;
        const char* text;
    } cases[] = {
        {0x0501, "01.05"},
        {0xFF80, "80.FF"},
        {0x2A01, "01.2A"},
        {0xABCD0501, "01.05"},  // bits 16 to 31 are dropped
        {0, "00.00"},
    };
    for (const Case& c : cases) EXPECT_EQ(EcFieldText(c.reading), c.text) << std::hex << c.reading;
}

TEST(EcVersion, TestBuildFormAndNoValueGivesAnEmptyField) {
    EXPECT_EQ(EcVersionText({0x01, 0x2A, 0x07}), "01.2A T07");
    EXPECT_EQ(EcVersionText({0x80, 0xFF, 0xFE}), "80.FF TFE");
    EXPECT_EQ(EcFieldText(std::nullopt), "");
}

TEST(MethodPath, NamesTheInstanceWithDoubledBackslashes) {
    EXPECT_EQ(MethodULongPath(3), LR"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_3")");
    EXPECT_EQ(MethodULongPath(0), LR"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_0")");
}

TEST(EnumTries, ANoteOnlyAfterTwoFailuresOrWhenEveryTryFailed) {
    struct Case {
        int failed;
        bool succeeded;
        const char* note;
    } cases[] = {
        {0, true, nullptr},
        {1, true, nullptr},
        {2, true, "CreateInstanceEnum has problem more than once\n"},
        {29, true, "CreateInstanceEnum has problem more than once\n"},
        {kEnumTries, false, "CreateInstanceEnum is failed\n"},
    };
    for (const Case& c : cases) {
        const char* note = EnumTriesNote(c.failed, c.succeeded);
        EXPECT_EQ(note ? std::string(note) : "(none)", c.note ? std::string(c.note) : "(none)") << c.failed;
    }
}
