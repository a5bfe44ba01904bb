#pragma once

#include <string>
#include <vector>

namespace platform {

// Encloses a text in double quotes, doubling every double quote inside.
std::string QuoteText(const std::string& text);

// The exact inverse of QuoteText over a whole command line: a double quote opens and closes a
// group, two double quotes inside a group are one literal quote, blanks outside groups separate.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

} // namespace platform
