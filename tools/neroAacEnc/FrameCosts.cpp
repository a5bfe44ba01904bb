#include "FrameCosts.h"

#include "InputReader.h"
#include "SegmentPlan.h"

#include <algorithm>

namespace {

// About this many bytes of the inputs are looked at, however long and wide they are.
constexpr std::uint64_t LookBytes = std::uint64_t{16} << 20;

} // namespace

double TFrameCosts::At(std::int64_t frame) const {
    if (Cost.empty())
        return 1;
    const auto i = static_cast<std::size_t>(frame / Stride);
    return Cost[std::min(i, Cost.size() - 1)];
}

bool TFrameCosts::Measure(const TInputSequence& inputs, TFrameCosts& costs, std::string& error) {
    constexpr std::int64_t frame = TSegmentPlan::FrameSamples;
    const auto total = static_cast<std::int64_t>(inputs.TotalFrames());
    const std::int64_t frames = (total + frame - 1) / frame;
    const int channels = inputs.Channels();
    std::uint64_t bytes = 0;
    for (const auto& in : inputs.Inputs())
        bytes += in.Frames * static_cast<std::uint64_t>(in.Format.BlockAlign());
    costs.Stride = static_cast<std::int64_t>(std::max<std::uint64_t>(1, bytes / LookBytes));
    costs.Cost.clear();
    std::vector<std::vector<float>> planes(static_cast<std::size_t>(channels),
                                           std::vector<float>(static_cast<std::size_t>(frame)));
    std::vector<float*> to;
    for (auto& p : planes)
        to.push_back(p.data());
    TInputReader reader(inputs);
    for (std::int64_t f = 0; f < frames; f += costs.Stride) {
        const std::int64_t first = f * frame;
        const int n = static_cast<int>(std::min(frame, total - first));
        if (!reader.Seek(static_cast<std::uint64_t>(first)) || !reader.Read(to.data(), n)) {
            error = reader.Error();
            return false;
        }
        double cost = 0;
        for (const auto& p : planes) {
            const bool silent =
                std::all_of(p.begin(), p.begin() + n, [](float v) { return v == 0; });
            cost += silent ? SilentChannel : 1;
        }
        costs.Cost.push_back(static_cast<float>(cost / channels));
    }
    return true;
}
