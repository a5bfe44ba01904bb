#pragma once

#include <cstddef>

// The tag values a source carries, in the order of the readers' value lists: the seven every
// source has always given, then those music libraries and audiobook players read besides.
enum class TTagField {
    Title,
    Artist,
    Track,
    Album,
    Comment,
    Genre,
    Year,
    AlbumArtist,
    // "n" or "n/m".
    Disc,
    // The m of the track's n/m.
    TrackTotal,
    Composer,
    // "1" for a compilation, else empty.
    Compilation
};

inline constexpr std::size_t TagFieldCount = 7;
inline constexpr std::size_t AllTagFieldCount = 12;

constexpr std::size_t Slot(TTagField field) {
    return static_cast<std::size_t>(field);
}
