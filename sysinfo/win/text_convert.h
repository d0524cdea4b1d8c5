// Conversions between the ANSI code page and UTF-16 at the WMI calls.
#pragma once

#include <string>

namespace quillon {

std::wstring WideFromAnsi(const char* text);
std::string AnsiFromWide(const wchar_t* text, int length);

}  // namespace quillon
