#pragma once

#include "FrameCosts.h"

#include <cstdint>
#include <vector>

// Where the continuous stream is cut for encoding on several cores. The cuts depend on the
// stream's length, its frames' costs and the thread count alone, never on timing, so that every
// machine writes the same bytes for the same -threads.
struct TSegmentBounds {
    std::int64_t Start = 0; // first sample whose packet the segment keeps
    std::int64_t End = 0;   // one past its last sample
};

class TSegmentPlan {
public:
    static constexpr std::int64_t FrameSamples = 1024;
    // At most about 6 minutes at 44.1 kHz: a stream of an hour or more still keeps eight cores
    // busy, and a segment's packets stay a bounded share of the memory cap.
    static constexpr std::int64_t MaxSegmentFrames = 16384;
    // The encoder's rate control wanders within a band of lambdas, a random walk with a long
    // memory, so a segment's encoder must be fed that long before its start to code as a
    // serial encode would. Measured on seams with transients in one channel: 512 frames
    // before lost up to 0.75 dB of a channel's SNR, 768 up to 0.35 dB, 1024 at most 0.05 dB.
    static constexpr int PreRollFrames = 1024;
    // Held before every segment for the attempts again, a quarter more each, when a splice
    // does not join.
    static constexpr int MaxPreRollFrames = 1536;
    // The encoder decides a frame's window from the frame after it and emits it one frame late.
    static constexpr int PostRollFrames = 2;
    // Shorter segments would spend more on pre-roll than on their own frames.
    static constexpr std::int64_t MinSegmentFrames = PreRollFrames;

    // Whole frames, in as many segments as threads at least (a multiple of them when there are
    // more), so that the threads finish together: each costs as much to encode, its pre-roll
    // included, as the costs tell (the last no more); none is shorter than MinSegmentFrames but
    // the last.
    static std::vector<TSegmentBounds> Cut(std::int64_t totalSamples, int threads,
                                           const TFrameCosts& costs = {});
};
