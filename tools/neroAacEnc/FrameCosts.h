#pragma once

#include "InputSequence.h"

#include <cstdint>
#include <string>
#include <vector>

// What encoding each frame of the stream costs, relative to a frame of sound in every channel,
// so that the cuts give every thread as much work. FFmpeg's encoder spends about as much on any
// channel with sound in it, loud or faint, tone or noise, and a fifth of that on one of
// digital silence: the one difference worth finding before the encode. A sample of the frames,
// evenly spaced, stands for the others, so the look costs little whatever the input's size.
struct TFrameCosts {
    // A silent channel of a frame, against one with sound.
    static constexpr double SilentChannel = 0.2;

    // Frames each entry stands for, from frame Stride * i on.
    std::int64_t Stride = 1;
    std::vector<float> Cost;

    // The cost of each frame, the same for all without entries.
    double At(std::int64_t frame) const;
    // Reads the frames to look at; false with error set when an input cannot be read.
    static bool Measure(const TInputSequence& inputs, TFrameCosts& costs, std::string& error);
};
