#include "text_convert.h"

#include "code_page_text.h"

#include <cstring>

namespace quillon {

std::wstring WideFromAnsi(const char* text) { return WideFromCodePage(text, CP_ACP); }

std::string AnsiFromWide(const wchar_t* text, int length) {
    if (!text || length <= 0) return {};
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

}  // namespace quillon
