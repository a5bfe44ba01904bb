#include "platform/Files.h"

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

} // namespace platform
