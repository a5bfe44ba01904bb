#pragma once

#include "common/ProgressLine.h"

#include <chrono>
#include <cstdint>

// "Progress: 45.3% (1.2 seconds remaining, 3.4 seconds total)" in place. Rises through every
// whole percent even when the decoder hands over a few thousand samples at a time, so that a
// reader of the screen sees each one.
class TDecodeProgress {
public:
    explicit TDecodeProgress(std::int64_t total);

    // done of the total given; more than the total reads as all of it.
    void Update(std::int64_t done);
    void Finish() { Line.Finish(); }

private:
    void Show(int tenths);

    std::int64_t Total;
    int LastTenths = -1;
    TProgressLine Line;
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
};
