#pragma once

#include <cstddef>
#include <string>

// What the tools put on their terminal. Messages and progress go to standard error; only the
// help text goes to standard output.
namespace tooltext {

// Writes the text in as few writes as the terminal takes, retrying interrupted ones.
void Write(const std::string& text, int fd = 2);
void Line(const std::string& text);
// Prints "tool: error: reason" and gives the exit code for a failed run.
int Error(const std::string& tool, const std::string& reason);
// Prints "tool: reason" and a hint to --help, and gives the exit code for a wrong command line.
int Usage(const std::string& tool, const std::string& reason);
// A path shortened in its middle to at most maxChars characters, so its line stays on one row.
std::string ShortPath(const std::string& path, std::size_t maxChars = 150);
bool EndsWithNoCase(const std::string& text, const std::string& suffix);
// A number with one decimal, independent of the locale.
std::string OneDecimal(double value);

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

} // namespace tooltext
