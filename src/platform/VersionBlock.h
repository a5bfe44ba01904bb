#pragma once

#include <optional>
#include <string>

namespace platform {

// The executable's version texts live in this ELF section as NUL-terminated key and value pairs.
inline constexpr const char* VersionSectionName = ".parvane.version";
// A block is a handful of short texts; anything larger is not ours.
inline constexpr std::size_t MaxVersionBlockSize = 64 * 1024;

// The bytes of the version section of an ELF file (32 or 64 bit, either byte order); nullopt when
// the file cannot be read, is no ELF file, or has no such section.
std::optional<std::string> ReadVersionBlock(const std::string& path);

} // namespace platform
