#include "text_convert.h"

#include <windows.h>

#include <cstring>

namespace quillon {

std::wstring WideFromAnsi(const char* text) {
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0) return {};
    int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), units);
    return wide;
}

std::string AnsiFromWide(const wchar_t* text, int length) {
    if (!text || length <= 0) return {};
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

}  // namespace quillon
