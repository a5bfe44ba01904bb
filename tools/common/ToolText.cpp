#include "common/ToolText.h"

#include <cerrno>
#include <cmath>
#include <strings.h>
#include <unistd.h>

namespace tooltext {

void Write(const std::string& text, int fd) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void Line(const std::string& text) {
    Write(text + "\n");
}

int Error(const std::string& tool, const std::string& reason) {
    Line(tool + ": error: " + reason);
    return ExitFailure;
}

int Usage(const std::string& tool, const std::string& reason) {
    Line(tool + ": " + reason + " (" + tool + " --help shows the usage)");
    return ExitUsage;
}

std::string ShortPath(const std::string& path, std::size_t maxChars) {
    // Count and cut in whole UTF-8 characters.
    std::size_t chars = 0;
    for (unsigned char c : path)
        chars += (c & 0xC0) != 0x80;
    if (chars <= maxChars)
        return path;
    const std::size_t keep = (maxChars - 3) / 2;
    auto byteOfChar = [&](std::size_t index) {
        std::size_t seen = 0;
        for (std::size_t i = 0; i < path.size(); ++i) {
            if ((static_cast<unsigned char>(path[i]) & 0xC0) != 0x80) {
                if (seen == index)
                    return i;
                ++seen;
            }
        }
        return path.size();
    };
    return path.substr(0, byteOfChar(keep)) + "..." + path.substr(byteOfChar(chars - keep));
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           strcasecmp(text.c_str() + text.size() - suffix.size(), suffix.c_str()) == 0;
}

std::string OneDecimal(double value) {
    if (!std::isfinite(value) || value < 0)
        value = 0;
    const auto tenths = static_cast<long long>(std::llround(value * 10));
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace tooltext
