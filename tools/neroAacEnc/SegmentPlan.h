#pragma once

#include <cstdint>
#include <vector>

// Where the continuous stream is cut for encoding on several cores. The cuts depend on the
// stream's length alone, never on the number of cores, so that every machine writes the same
// bytes.
struct TSegmentBounds {
    std::int64_t Start = 0; // first sample whose packet the segment keeps
    std::int64_t End = 0;   // one past its last sample
};

class TSegmentPlan {
public:
    static constexpr std::int64_t FrameSamples = 1024;
    // At most about 6 minutes at 44.1 kHz: the pre-roll then costs at most a sixteenth more
    // encoding (a 10-minute file, two segments, a twenty-fifth), and a stream of an hour or more
    // still keeps eight cores busy.
    static constexpr std::int64_t MaxSegmentFrames = 16384;
    // The encoder's rate control and psychoacoustic state drift towards a serial encode's over
    // hundreds of frames; a segment started 512 frames early still coded a chord struck right
    // after its start 4 dB worse, one started 1024 frames early as well as a serial encode.
    static constexpr int PreRollFrames = 1024;
    // Held before every segment for a second attempt when a splice does not join.
    static constexpr int MaxPreRollFrames = 1280;
    // The encoder decides a frame's window from the frame after it and emits it one frame late.
    static constexpr int PostRollFrames = 2;

    // Segments of equal length in whole frames (the last takes the rest); more than two come
    // in a multiple of four.
    static std::vector<TSegmentBounds> Cut(std::int64_t totalSamples);
};
