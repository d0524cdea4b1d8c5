// Text of a given code page as UTF-16, for the wide Windows and COM calls
// (accessible names, WMI strings) of programs that keep narrow texts.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Nothing for an empty text or one the code page cannot convert.
inline std::wstring WideFromCodePage(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), units);
    return wide;
}
