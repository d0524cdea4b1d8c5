// Command strings: the text protocol through which a caller asks for one
// property of one WMI object to be read or written.
//
//   read:  namespace ":" "Q" ":" class ":" property ":" instance
//   write: namespace ":" "S" ":" class ":" property ":" instance ":" value
//   "M" in place of the operation is accepted and does nothing.
//
// This file holds the grammar and the number rules only; it includes no
// Windows header so that it can be tested and fuzzed natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

enum class CommandKind {
    Read,       // "Q": reply with the value of the selected object
    Write,      // "S": write the value, reply with its canonical text
    NoAction,   // "M": the reply area is left as it was
    Malformed,  // any broken rule: reply kMalformedReply
};

struct Command {
    CommandKind kind = CommandKind::Malformed;
    std::string nameSpace;     // passed unchanged to the WMI connection
    std::string className;     // appended to "Select * from "
    std::string property;
    std::int32_t instance = 0; // position in enumeration order, never negative
    std::int32_t value = 0;    // Write only
};

// The reply to every request that breaks a rule of the grammar.
inline constexpr char kMalformedReply[] = "Please input correct parameter !";

// Parses a command string (the text before its terminating zero). The checks
// run in a fixed order and the first broken rule makes the command Malformed;
// a negative instance is Malformed too, because no object has such a position.
Command ParseCommand(std::string_view request);

// The usual leading-number rule: optional blanks (space, \t, \n, \v, \f, \r),
// an optional sign, then decimal digits up to the first non-digit. No digits
// reads as 0. Values beyond the 32-bit range saturate at its ends.
std::int32_t ReadLeadingNumber(std::string_view text);

// True when the text is wholly a decimal number: an optional sign, then at
// least one digit, nothing else (no blanks, no trailing text). Whatever its
// size; ReadLeadingNumber then gives its value, saturated.
bool IsDecimalNumber(std::string_view text);

// Canonical decimal text: no leading zeros or "+", "-" for negative values.
std::string DecimalText(std::int32_t value);

// The WQL query that enumerates the objects of a class.
std::string QueryForClass(std::string_view className);

}  // namespace brindle
