#include "platform/ToolNames.h"

#include "platform/AsciiText.h"
#include "platform/Files.h"

#include <filesystem>
#include <set>

namespace platform {

// The folder is listed rather than probed, so that a tool's name matches in any case.
std::vector<std::string> MissingTools(const std::string& folder) {
    std::set<std::string> present;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (FileExists(folder + name))
            present.insert(AsciiLower(name));
    }
    std::vector<std::string> missing;
    for (const char* tool : ToolNames)
        if (!present.count(AsciiLower(tool)))
            missing.emplace_back(tool);
    return missing;
}

} // namespace platform
