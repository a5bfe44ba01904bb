#pragma once

#include "SegmentPlan.h"

#include <cstdint>
#include <string>
#include <vector>

// One encoded AAC frame as the muxer takes it.
struct TAacPacket {
    std::vector<std::uint8_t> Data;
    std::int64_t Pts = 0;
    std::int64_t Duration = 0;
};

// A stretch of the stream; its encoder reads it from the inputs with the samples around it that
// it needs: the pre-roll before Start and PostRollFrames past End, as far as the stream reaches.
struct TSegment {
    std::size_t Index = 0;
    TSegmentBounds Bounds;
    bool Last = false;

    // Filled by the encoding; Packets are the kept ones, in order. Lead is the last frame of
    // the pre-roll: the window the first kept frame was made to follow.
    int PreRollUsed = 0;
    std::vector<TAacPacket> Packets;
    std::vector<std::uint8_t> Lead;
    std::string Error;
    // Set by the pool, under its lock, once the segment is handed back.
    bool Finished = false;
};
