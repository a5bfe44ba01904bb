#include "SegmentPlan.h"

#include <algorithm>

std::vector<TSegmentBounds> TSegmentPlan::Cut(std::int64_t totalSamples) {
    std::vector<TSegmentBounds> segments;
    if (totalSamples <= 0)
        return segments;
    const std::int64_t frames = (totalSamples + FrameSamples - 1) / FrameSamples;
    std::int64_t count = (frames + MaxSegmentFrames - 1) / MaxSegmentFrames;
    // Whole rounds on two and four cores: five segments on two cores would leave one idle
    // for the last.
    if (count > 2)
        count = (count + 3) / 4 * 4;
    const std::int64_t length = (frames + count - 1) / count * FrameSamples;
    for (std::int64_t start = 0; start < totalSamples; start += length)
        segments.push_back({start, std::min(start + length, totalSamples)});
    return segments;
}
