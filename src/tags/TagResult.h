#pragma once

// What the tag readers' loads give. Plain numbers, because callers compare and hand them on as
// such.
namespace tagresult {

inline constexpr int Ok = 0;
// The file does not exist or cannot be opened.
inline constexpr int FileError = 3;
inline constexpr int ReadError = 4;
inline constexpr int NoTag = 0xFFFF;

} // namespace tagresult
