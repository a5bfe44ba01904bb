#pragma once

#include <functional>
#include <string>

namespace decodecommand {

// The command line every decoder tool shares: SOURCE OUTPUT.wav -d, or --help. Runs run with
// the two paths and returns its exit status; 2 for a wrong command line.
int Main(int argc, char** argv, const std::string& tool, const char* help,
         const std::function<int(const std::string& source, const std::string& target)>& run);

} // namespace decodecommand
