// Cutting a value text to fit a fixed narrow text area without splitting a
// character. The caller supplies the narrow size of one character (one UTF-16
// unit, or a surrogate pair), so the rule holds for single-byte, double-byte
// and UTF-8 code pages alike.
#pragma once

#include <cstddef>

namespace brindle {

// Returns how many leading UTF-16 units of text[0..length) convert to at most
// `capacity` narrow bytes. A surrogate pair is one character: it is kept or
// dropped whole. `narrowSize(const Unit* first, std::size_t units)` gives the
// number of bytes those units take in the target code page.
template <class Unit, class NarrowSize>
std::size_t FitCharacters(const Unit* text, std::size_t length, std::size_t capacity,
                          NarrowSize narrowSize) {
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < length) {
        unsigned unit = static_cast<unsigned>(text[i]) & 0xFFFFu;
        std::size_t units = 1;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length) {
            unsigned next = static_cast<unsigned>(text[i + 1]) & 0xFFFFu;
            if (next >= 0xDC00 && next <= 0xDFFF) units = 2;
        }
        std::size_t bytes = narrowSize(text + i, units);
        if (bytes > capacity - used) break;
        used += bytes;
        i += units;
    }
    return i;
}

}  // namespace brindle
