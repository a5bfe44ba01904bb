#pragma once

#include "tags/ByteSource.h"

#include <cstddef>
#include <string>

// The sheet a FLAC file carries: its CUESHEET comment, a whole sheet with titles, else one written
// from its CUESHEET block, which holds only track numbers, kinds and offsets.
class TFlacCueSheet {
public:
    // The sheet's bytes, FILE naming imageName; empty when the file carries none, it is larger
    // than maxBytes or its blocks cannot be read.
    static std::string Read(TByteSource& file, const std::string& imageName, std::size_t maxBytes);
};
