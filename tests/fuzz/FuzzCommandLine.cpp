#include "platform/CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// The input is a command line as a caller might hand over; the first half is also quoted as one
// argument, which must come back whole.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t total = 0;
    for (const std::string& arg : platform::SplitCommandLine(text))
        total += arg.size();
    if (total > size)
        std::abort();

    const std::string first = text.substr(0, size / 2);
    const std::string second = text.substr(size / 2);
    const std::vector<std::string> args =
        platform::SplitCommandLine(platform::QuoteText(first) + " " + platform::QuoteText(second));
    if (args != std::vector<std::string>{first, second})
        std::abort();
    return 0;
}
