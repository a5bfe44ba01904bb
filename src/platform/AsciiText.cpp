#include "platform/AsciiText.h"

#include <algorithm>

namespace platform {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace platform
