#include "platform/NaturalOrder.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <cstddef>

namespace platform {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned char Folded(char c) {
    return static_cast<unsigned char>(AsciiLower(c));
}

// Compares the digit runs starting at a[i] and b[j] by value and moves both past their run.
int CompareNumbers(std::string_view a, std::size_t& i, std::string_view b, std::size_t& j) {
    const std::size_t aStart = i, bStart = j;
    while (i < a.size() && IsDigit(a[i]))
        ++i;
    while (j < b.size() && IsDigit(b[j]))
        ++j;
    std::string_view x = a.substr(aStart, i - aStart), y = b.substr(bStart, j - bStart);
    // Any length of digits compares, without overflow, once the leading zeros are gone.
    x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
    y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int CompareNatural(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            if (const int order = CompareNumbers(a, i, b, j))
                return order;
            continue;
        }
        const unsigned char x = Folded(a[i]), y = Folded(b[j]);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

} // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    if (const int order = CompareNatural(a, b))
        return order < 0;
    return a < b;
}

} // namespace platform
