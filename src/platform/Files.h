#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// True for a regular file (or a link to one); folders, FIFOs and dangling links are no files here.
bool FileExists(const std::string& path);

// Size in bytes of a regular file, -1 when there is none.
std::int64_t FileSize(const std::string& path);

// Removes a file; false when nothing was removed.
bool DeleteFile(const std::string& path);

// Names of the entries of a folder that are not folders themselves, in a file manager's order
// (NaturalLess). A folder that cannot be listed gives none.
std::vector<std::string> FolderFileNames(const std::string& folder);

} // namespace platform
