#include "text.h"

namespace emu {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::optional<std::uint64_t> parseDecimal(std::string_view text, std::uint64_t max) {
  text = trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
    if (v > max) return std::nullopt;
  }
  return v;
}

std::optional<std::int64_t> parseSignedDecimal(std::string_view text, std::int64_t min,
                                               std::int64_t max) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  const std::uint64_t limit = negative ? static_cast<std::uint64_t>(-(min + 1)) + 1
                                       : static_cast<std::uint64_t>(max);
  auto magnitude = parseDecimal(text, limit);
  if (!magnitude || trim(text).size() != text.size()) return std::nullopt;
  return negative ? -static_cast<std::int64_t>(*magnitude - 1) - 1
                  : static_cast<std::int64_t>(*magnitude);
}

}  // namespace emu
