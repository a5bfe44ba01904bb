#pragma once

#include <string>
#include <string_view>

// Letter case of ASCII letters only: names, keys and extensions compare the same in every locale,
// and bytes of other characters are left alone.
namespace platform {

char AsciiLower(char c);
std::string AsciiLower(std::string text);
bool SameTextAscii(std::string_view a, std::string_view b);

} // namespace platform
