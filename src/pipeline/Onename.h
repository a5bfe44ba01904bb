#pragma once

#include <set>
#include <string>

// Turns a wanted path into the first of its family that names no existing file: song.mp4,
// song-1.mp4, song-2.mp4, ... It reserves nothing; the writer must still create exclusively.
class TOneName {
public:
    std::string Path;

    std::string UniqueName() const { return UniqueName({}); }
    // Also passes over the names in held: outputs still being written have none on disk yet.
    std::string UniqueName(const std::set<std::string>& held) const;
};
