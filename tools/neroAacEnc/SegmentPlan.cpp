#include "SegmentPlan.h"

#include <algorithm>

std::vector<TSegmentBounds> TSegmentPlan::Cut(std::int64_t totalSamples, int threads) {
    std::vector<TSegmentBounds> segments;
    if (totalSamples <= 0)
        return segments;
    const std::int64_t frames = (totalSamples + FrameSamples - 1) / FrameSamples;
    const std::int64_t n = std::max(threads, 1);
    std::int64_t count = std::max((frames + MaxSegmentFrames - 1) / MaxSegmentFrames, n);
    count = (count + n - 1) / n * n;
    // Fewer segments than threads rather than segments that are mostly pre-roll.
    const std::int64_t fit = std::max<std::int64_t>(1, (frames - PreRollFrames) / MinSegmentFrames);
    if (count > fit)
        count = fit >= n ? fit / n * n : fit;
    if (count == 1)
        return {{0, totalSamples}};
    // Every thread then encodes as many frames, the first segment's own standing in for the
    // pre-roll of the others.
    const std::int64_t length = (frames - PreRollFrames + count - 1) / count;
    std::int64_t start = 0;
    for (std::int64_t k = 0; k < count && start < totalSamples; ++k) {
        const std::int64_t end =
            k + 1 == count
                ? totalSamples
                : std::min(start + (length + (k == 0 ? PreRollFrames : 0)) * FrameSamples,
                           totalSamples);
        segments.push_back({start, end});
        start = end;
    }
    return segments;
}
