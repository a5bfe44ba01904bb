#include "platform/TempFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace platform {

std::string TempFolder() {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    return ec ? std::string() : folder.string();
}

std::string CreateTempWav() {
    const std::string folder = TempFolder();
    if (folder.empty())
        return {};
    std::string pattern =
        (std::filesystem::path(folder) / (std::string(TempWavPrefix) + "XXXXXX.tmp")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemps(name.data(), 4);
    if (fd < 0)
        return {};
    close(fd);
    return name.data();
}

} // namespace platform

namespace platform {

bool TTempFile::Create() {
    Remove();
    FilePath = CreateTempWav();
    return !FilePath.empty();
}

void TTempFile::Remove() {
    if (!FilePath.empty())
        unlink(FilePath.c_str());
    FilePath.clear();
}

} // namespace platform
