#pragma once

#include <cstddef>

// The seven tag values every source carries, in the order of the readers' value lists.
enum class TTagField { Title, Artist, Track, Album, Comment, Genre, Year };

inline constexpr std::size_t TagFieldCount = 7;

constexpr std::size_t Slot(TTagField field) {
    return static_cast<std::size_t>(field);
}
