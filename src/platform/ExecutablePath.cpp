#include "platform/ExecutablePath.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::string ExecutablePath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

} // namespace platform
