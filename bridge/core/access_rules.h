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

// Whether a call's result says the connection behind a WMI object is gone
// (its server died, stopped or restarted), as opposed to an answer from a
// live server, even a refusal. Codes as 32-bit HRESULT values.
constexpr bool ConnectionLost(std::uint32_t hr) {
    switch (hr) {
    case 0x80010108u:  // RPC_E_DISCONNECTED: the object's server went away
    case 0x80010007u:  // RPC_E_SERVER_DIED
    case 0x80010012u:  // RPC_E_SERVER_DIED_DNE
    case 0x800401FDu:  // CO_E_OBJNOTCONNECTED
    case 0x800706BAu:  // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEu:  // RPC_S_CALL_FAILED
    case 0x800706BFu:  // RPC_S_CALL_FAILED_DNE
    case 0x80041015u:  // WBEM_E_TRANSPORT_FAILURE
    case 0x80041033u:  // WBEM_E_SHUTTING_DOWN
        return true;
    default:
        return false;
    }
}

}  // namespace brindle
