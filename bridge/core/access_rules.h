// Decisions of the WMI property access that do not depend on Windows: the
// fixed status texts and the check of the object count against the number of
// positions a caller wants to reach.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle {

// Size of every status-text area and of every value text area, terminator
// included.
inline constexpr std::size_t kTextAreaSize = 260;

inline constexpr char kNoObjectsText[] = "Physical Instance = 0, Can't get any data.";
inline constexpr char kTooFewObjectsText[] = "CPtrArray size is over than spec.";

enum class CountVerdict {
    CountFailed,    // counting failed; its status text is already written
    NoObjects,      // kNoObjectsText
    TooFewObjects,  // kTooFewObjectsText
    Proceed,
};

// `count` is the number of objects the query returned (-1 when counting
// failed); `positions` is how many leading objects the operation must reach.
// `positions` is 64-bit so that "instance + 1" never overflows.
constexpr CountVerdict CheckCount(long count, std::uint64_t positions) {
    if (count < 0) return CountVerdict::CountFailed;
    if (count == 0) return CountVerdict::NoObjects;
    if (positions > static_cast<std::uint64_t>(count)) return CountVerdict::TooFewObjects;
    return CountVerdict::Proceed;
}

// Windows generation code kept by the bridge object: 1 for version 5.1,
// 2 for version 6.0, 0 for every other version.
constexpr int OsGeneration(unsigned long major, unsigned long minor) {
    if (major == 5 && minor == 1) return 1;
    if (major == 6 && minor == 0) return 2;
    return 0;
}

// Copies `text` into a text area of kTextAreaSize bytes, cutting it at the
// last byte that still leaves room for the terminator.
void CopyToTextArea(const char* text, char* area);

}  // namespace brindle
