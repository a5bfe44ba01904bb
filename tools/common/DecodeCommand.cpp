#include "common/DecodeCommand.h"

#include "common/ToolText.h"

#include <cstring>

namespace decodecommand {

int Main(int argc, char** argv, const std::string& tool, const char* help,
         const std::function<int(const std::string& source, const std::string& target)>& run) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        tooltext::Write(help, 1);
        return 0;
    }
    if (argc != 4)
        return tooltext::Usage(tool, "expects SOURCE OUTPUT -d");
    if (std::strcmp(argv[3], "-d") != 0)
        return tooltext::Usage(tool, std::string("mode ") + argv[3] +
                                         " is not offered; only -d (decode to WAV) is");
    return run(argv[1], argv[2]);
}

} // namespace decodecommand
