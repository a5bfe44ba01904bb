#include "platform/AppFolder.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::string AppFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "./";
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace platform
