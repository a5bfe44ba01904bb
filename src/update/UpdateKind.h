#pragma once

// What the update check found. Numbers, because the window keeps the last one as such.
namespace updatekind {

// No result: the check did not run or its fetch failed.
inline constexpr int Unknown = -1;
inline constexpr int None = 0;
// Only the file version is newer.
inline constexpr int Minor = 1;
// The file and product versions are both newer.
inline constexpr int Major = 2;

} // namespace updatekind
