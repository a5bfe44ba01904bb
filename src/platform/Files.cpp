#include "platform/Files.h"

#include "platform/NaturalOrder.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && unlink(path.c_str()) == 0;
}

std::vector<std::string> FolderFileNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator entry(folder, ec);
    for (; !ec && entry != std::filesystem::directory_iterator(); entry.increment(ec)) {
        std::error_code kindError;
        if (!entry->is_directory(kindError))
            names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return names;
}

} // namespace platform
