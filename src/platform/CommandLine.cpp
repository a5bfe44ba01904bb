#include "platform/CommandLine.h"

namespace platform {

std::string QuoteText(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inGroup = false;
    bool haveArg = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        char c = commandLine[i];
        if (c == '"') {
            if (!inGroup) {
                inGroup = true;
                haveArg = true;
            } else if (i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                inGroup = false;
            }
        } else if (c == ' ' && !inGroup) {
            if (haveArg)
                args.push_back(std::move(current));
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        args.push_back(std::move(current));
    return args;
}

} // namespace platform
