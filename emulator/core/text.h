// Small text helpers shared by the EC and WMI model code (ASCII rules, as
// WMI applies to class, property and namespace names).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace emu {

char lowerAscii(char c);
bool equalsNoCase(std::string_view a, std::string_view b);
bool isSpace(char c);
std::string_view trim(std::string_view s);

// Decimal text as WMI converts a string written to an unsigned integer
// property: surrounding blanks allowed, an optional '+', digits only, and the
// value within [0, max].
std::optional<std::uint64_t> parseDecimal(std::string_view text, std::uint64_t max);
// Same for a signed property: an optional '-' and the value within range.
std::optional<std::int64_t> parseSignedDecimal(std::string_view text, std::int64_t min,
                                               std::int64_t max);

}  // namespace emu
