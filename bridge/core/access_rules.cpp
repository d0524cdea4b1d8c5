#include "access_rules.h"

#include <cstring>

namespace brindle {

void CopyToTextArea(const char* text, char* area) {
    std::size_t length = strnlen(text, kTextAreaSize - 1);
    std::memcpy(area, text, length);
    area[length] = '\0';
}

}  // namespace brindle
