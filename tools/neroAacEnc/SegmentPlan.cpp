#include "SegmentPlan.h"

#include <algorithm>

namespace {

// The cuts that give every segment but the last this much work, pre-roll included; each
// segment then as short as that allows, and long enough to leave the ones after it their
// shortest length.
std::vector<std::int64_t> Starts(const std::vector<double>& work, std::int64_t count,
                                 double target) {
    const auto frames = static_cast<std::int64_t>(work.size()) - 1;
    std::vector<std::int64_t> starts = {0};
    for (std::int64_t k = 1; k < count; ++k) {
        const std::int64_t start = starts.back();
        const std::int64_t from =
            k == 1 ? 0 : std::max<std::int64_t>(0, start - TSegmentPlan::PreRollFrames);
        const double goal = work[static_cast<std::size_t>(from)] + target;
        const auto it = std::lower_bound(work.begin(), work.end(), goal);
        const std::int64_t least = start + TSegmentPlan::MinSegmentFrames;
        const std::int64_t most = frames - (count - k) * TSegmentPlan::MinSegmentFrames;
        starts.push_back(std::clamp<std::int64_t>(it - work.begin(), least, std::max(least, most)));
    }
    return starts;
}

} // namespace

std::vector<TSegmentBounds> TSegmentPlan::Cut(std::int64_t totalSamples, int threads,
                                              const TFrameCosts& costs) {
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
    // The work up to each frame; the least equal share for every segment that leaves the last
    // no more, found by halving.
    std::vector<double> work(static_cast<std::size_t>(frames) + 1);
    for (std::int64_t f = 0; f < frames; ++f)
        work[static_cast<std::size_t>(f) + 1] = work[static_cast<std::size_t>(f)] + costs.At(f);
    const auto lastWork = [&](const std::vector<std::int64_t>& starts) {
        return work.back() - work[static_cast<std::size_t>(
                                 std::max<std::int64_t>(0, starts.back() - PreRollFrames))];
    };
    double low = 0, high = work.back();
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (lastWork(Starts(work, count, mid)) > mid ? low : high) = mid;
    }
    const auto starts = Starts(work, count, high);
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::int64_t end =
            k + 1 == starts.size() ? totalSamples : starts[k + 1] * FrameSamples;
        segments.push_back({starts[k] * FrameSamples, end});
    }
    return segments;
}
