// Native tests of the bridge's platform-free rules: the command grammar, the
// leading-number rule, canonical decimals, the object-count check and the
// cutting of value texts.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "access_rules.h"
#include "command.h"
#include "text_fit.h"

using brindle::CommandKind;

namespace {

struct GrammarCase {
    const char* request;
    CommandKind kind;
    const char* nameSpace = "";
    const char* className = "";
    const char* property = "";
    int instance = 0;
    int value = 0;
};

std::ostream& operator<<(std::ostream& os, const GrammarCase& c) { return os << '"' << c.request << '"'; }

class Grammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(Grammar, ParsesOrRejects) {
    const GrammarCase& c = GetParam();
    brindle::Command command = brindle::ParseCommand(c.request);
    ASSERT_EQ(command.kind, c.kind);
    if (c.kind != CommandKind::Read && c.kind != CommandKind::Write) return;
    EXPECT_EQ(command.nameSpace, c.nameSpace);
    EXPECT_EQ(command.className, c.className);
    EXPECT_EQ(command.property, c.property);
    EXPECT_EQ(command.instance, c.instance);
    if (c.kind == CommandKind::Write) {
        EXPECT_EQ(command.value, c.value);
    }
}

constexpr auto R = CommandKind::Read;
constexpr auto W = CommandKind::Write;
constexpr auto M = CommandKind::NoAction;
constexpr auto X = CommandKind::Malformed;

INSTANTIATE_TEST_SUITE_P(Commands, Grammar, testing::Values(
    // The forms the system sends.
    GrammarCase{R"(root\WMI:Q:ZEL_Device:Device:0)", R, R"(root\WMI)", "ZEL_Device", "Device", 0},
    GrammarCase{R"(root\WMI:S:ZEL_Software:Software:0:1)", W, R"(root\WMI)", "ZEL_Software", "Software", 0, 1},
    GrammarCase{R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0)", R, R"(root\CIMV2)", "Win32_BIOS", "SMBIOSBIOSVersion", 0},
    // Missing, extra and empty fields.
    GrammarCase{R"(root\WMI:Q:ZEL_System:System)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:1:2)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:1:)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System::1)", X},
    GrammarCase{R"(root\WMI:Q::System:1)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System:)", X},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:1)", X},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:1:)", X},
    GrammarCase{R"(root\WMI:S:ZEL_System:System::5)", X},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:1:5:6)", X},
    GrammarCase{R"(root\WMI:S:ZEL_System::1:5)", X},
    GrammarCase{R"(root\WMI:S::System:1:5)", X},
    GrammarCase{"", X},
    GrammarCase{"no colon at all", X},
    // The operation: exact, case-sensitive, and only between the first two colons.
    GrammarCase{R"(root\WMI:q:ZEL_System:System:1)", X},
    GrammarCase{R"(root\WMI:s:ZEL_System:System:1:5)", X},
    GrammarCase{R"(root\WMI::ZEL_System:System:1)", X},
    GrammarCase{R"(root\WMI:QQ:ZEL_System:System:1)", X},
    GrammarCase{R"(root\WMI: Q:ZEL_System:System:1)", X},
    GrammarCase{R"(root\WMI:Q)", X},
    GrammarCase{R"(root\WMI:M)", X},
    GrammarCase{R"(root\WMI:M:)", M},
    GrammarCase{R"(root\WMI:M:ZEL_System:System:1:2:3:)", M},
    GrammarCase{":M:", M},
    // Namespace and class are taken verbatim; the namespace may be empty.
    GrammarCase{":Q:Win32_BIOS:Name:0", R, "", "Win32_BIOS", "Name", 0},
    GrammarCase{R"(root\CIMV2:Q:Win32_Process where ProcessId = 4:Name:0)", R, R"(root\CIMV2)",
                "Win32_Process where ProcessId = 4", "Name", 0},
    // Instance and value follow the leading-number rule.
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:1x)", R, R"(root\WMI)", "ZEL_System", "System", 1},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System: 2)", R, R"(root\WMI)", "ZEL_System", "System", 2},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:x)", R, R"(root\WMI)", "ZEL_System", "System", 0},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:99999999999)", R, R"(root\WMI)", "ZEL_System", "System", INT_MAX},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:1:007)", W, R"(root\WMI)", "ZEL_System", "System", 1, 7},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:1:-3)", W, R"(root\WMI)", "ZEL_System", "System", 1, -3},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:1:abc)", W, R"(root\WMI)", "ZEL_System", "System", 1, 0},
    // A negative instance names no object.
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:-1)", X},
    GrammarCase{R"(root\WMI:S:ZEL_System:System:-1:5)", X},
    GrammarCase{R"(root\WMI:Q:ZEL_System:System:-99999999999)", X}));

TEST(LeadingNumber, ReadsTheLeadingDigitsAndSaturates) {
    struct Case { const char* text; int expected; };
    const Case cases[] = {
        {"0", 0}, {"007", 7}, {"1x", 1}, {"x1", 0}, {"", 0}, {"-", 0}, {"+", 0},
        {" \t\n\v\f\r42", 42}, {"+5", 5}, {"-3", -3}, {"- 3", 0}, {"--3", 0}, {"+-3", 0},
        {"12 34", 12}, {"-0", 0},
        {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"99999999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN}, {"-99999999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brindle::ReadLeadingNumber(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(DecimalText, IsCanonical) {
    struct Case { int value; const char* expected; };
    const Case cases[] = {{0, "0"}, {7, "7"}, {-3, "-3"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (const Case& c : cases) EXPECT_EQ(brindle::DecimalText(c.value), c.expected);
}

TEST(CountCheck, ComparesPositionsWithObjects) {
    using brindle::CountVerdict;
    struct Case { long count; std::uint64_t positions; CountVerdict expected; };
    const Case cases[] = {
        {-1, 1, CountVerdict::CountFailed},
        {0, 1, CountVerdict::NoObjects},
        {0, 0, CountVerdict::NoObjects},
        {2, 0, CountVerdict::Proceed},
        {2, 2, CountVerdict::Proceed},
        {2, 3, CountVerdict::TooFewObjects},
        {1, 2000000001ULL, CountVerdict::TooFewObjects},
        {1, 2147483648ULL, CountVerdict::TooFewObjects},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brindle::CheckCount(c.count, c.positions), c.expected) << c.count << " objects, " << c.positions;
    }
}

TEST(ConnectionLost, TellsAGoneServerFromAnAnswer) {
    struct Case {
        std::uint32_t hr;
        bool lost;
    };
    const Case cases[] = {
        {0x80010108u, true},   // RPC_E_DISCONNECTED
        {0x800706BAu, true},   // RPC_S_SERVER_UNAVAILABLE
        {0x800706BEu, true},   // RPC_S_CALL_FAILED
        {0x80041033u, true},   // WBEM_E_SHUTTING_DOWN
        {0x80041015u, true},   // WBEM_E_TRANSPORT_FAILURE
        {0x00000000u, false},  // answered
        {0x80041002u, false},  // WBEM_E_NOT_FOUND: a live server's answer
        {0x8004100Cu, false},  // WBEM_E_NOT_SUPPORTED
        {0x80041003u, false},  // WBEM_E_ACCESS_DENIED
        {0x80041032u, false},  // WBEM_E_CALL_CANCELLED
    };
    for (const Case& c : cases) EXPECT_EQ(brindle::ConnectionLost(c.hr), c.lost) << std::hex << c.hr;
}

TEST(OsGeneration, KnowsVersion51And60Only) {
    struct Case { unsigned long major, minor; int expected; };
    const Case cases[] = {{5, 1, 1}, {6, 0, 2}, {6, 1, 0}, {5, 2, 0}, {5, 0, 0}, {10, 0, 0}};
    for (const Case& c : cases) EXPECT_EQ(brindle::OsGeneration(c.major, c.minor), c.expected) << c.major << '.' << c.minor;
}

// A double-byte code page in miniature: ASCII takes one byte, every other
// character two, a surrogate pair (one character) four.
std::size_t FakeDoubleByteSize(const char16_t* first, std::size_t units) {
    if (units == 2) return 4;
    return *first < 0x80 ? 1 : 2;
}

TEST(TextFit, NeverSplitsACharacter) {
    struct Case { std::u16string text; std::size_t expectedUnits; };
    const std::u16string a257(257, u'a');
    const Case cases[] = {
        {u"abc", 3},
        {std::u16string(259, u'a'), 259},
        {std::u16string(260, u'a'), 259},
        {a257 + u"\u4E00", 258},           // 257 + 2 bytes = 259: fits
        {a257 + u"a\u4E00", 258},          // 258 + 2 bytes = 260: the double-byte character goes
        {a257 + u"\U0001F600", 257},       // a surrogate pair is dropped whole
        {std::u16string(u"\xD800") + u"b", 2},  // a lone surrogate counts alone
        {std::u16string(200, u'\u4E00'), 129},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brindle::FitCharacters(c.text.data(), c.text.size(), 259, FakeDoubleByteSize), c.expectedUnits)
            << "length " << c.text.size();
    }
}

TEST(TextArea, CopiesAtMost259BytesAndTerminates) {
    char area[brindle::kTextAreaSize + 1];
    std::memset(area, '#', sizeof area);
    brindle::CopyToTextArea(std::string(400, 'v').c_str(), area);
    EXPECT_EQ(std::strlen(area), 259u);
    EXPECT_EQ(area[brindle::kTextAreaSize], '#');

    brindle::CopyToTextArea("5", area);
    EXPECT_STREQ(area, "5");
}

}  // namespace
