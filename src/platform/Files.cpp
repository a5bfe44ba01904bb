#include "platform/Files.h"

#include "platform/NaturalOrder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

std::optional<std::vector<std::uint8_t>> ReadSmallFile(const std::string& path,
                                                       std::uint64_t maxBytes) {
    const std::int64_t size = FileSize(path);
    if (size < 0 || static_cast<std::uint64_t>(size) > maxBytes)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        return std::nullopt;
    return bytes;
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && unlink(path.c_str()) == 0;
}

int MoveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // Where the file system cannot rename so, a hard link is just as exclusive.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno;
    unlink(from.c_str());
    return 0;
}

namespace {

std::vector<std::string> EntryNames(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator entry(folder, ec);
    for (; !ec && entry != std::filesystem::directory_iterator(); entry.increment(ec)) {
        std::error_code kindError;
        if (entry->is_directory(kindError) == folders)
            names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return names;
}

} // namespace

std::vector<std::string> FolderFileNames(const std::string& folder) {
    return EntryNames(folder, false);
}

std::vector<std::string> FolderFolderNames(const std::string& folder) {
    return EntryNames(folder, true);
}

std::optional<TFolderRoom> FolderRoom(const std::string& folder) {
    struct statvfs room {};
    struct stat st {};
    if (statvfs(folder.c_str(), &room) != 0 || stat(folder.c_str(), &st) != 0)
        return std::nullopt;
    return TFolderRoom{std::uint64_t{room.f_bavail} * room.f_frsize,
                       static_cast<std::uint64_t>(st.st_dev)};
}

} // namespace platform
