#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// True for a regular file (or a link to one); folders, FIFOs and dangling links are no files here.
bool FileExists(const std::string& path);

// Size in bytes of a regular file, -1 when there is none.
std::int64_t FileSize(const std::string& path);

// The bytes of a regular file of at most maxBytes; nothing for a larger or unreadable one.
std::optional<std::vector<std::uint8_t>> ReadSmallFile(const std::string& path,
                                                       std::uint64_t maxBytes);
// Removes a file; false when nothing was removed.
bool DeleteFile(const std::string& path);

// Gives a file a new name in the same file system, never in place of a file there; 0, or the
// errno (EEXIST when the name is taken).
int MoveNoReplace(const std::string& from, const std::string& to);

// Names of the entries of a folder that are not folders themselves, in a file manager's order
// (NaturalLess). A folder that cannot be listed gives none.
std::vector<std::string> FolderFileNames(const std::string& folder);
// Names of the folders in a folder (links to folders included), in the same order.
std::vector<std::string> FolderFolderNames(const std::string& folder);

// The room this user has in a folder's file system, and which file system it is (two folders
// of one file system share its Volume).
struct TFolderRoom {
    std::uint64_t Free = 0;
    std::uint64_t Volume = 0;
};
// Nothing when the folder cannot be asked.
std::optional<TFolderRoom> FolderRoom(const std::string& folder);

} // namespace platform
