#include "SampleStore.h"

#include <cstring>

namespace {

template <class T>
void Grow(std::vector<std::vector<T>>& planes, std::int64_t count, std::uint8_t** out) {
    for (std::size_t c = 0; c < planes.size(); ++c) {
        auto& plane = planes[c];
        plane.resize(plane.size() + static_cast<std::size_t>(count));
        out[c] = reinterpret_cast<std::uint8_t*>(plane.data() + plane.size() - count);
    }
}

template <class T>
std::vector<std::vector<T>> TailOf(const std::vector<std::vector<T>>& planes, std::int64_t from) {
    std::vector<std::vector<T>> tail;
    tail.reserve(planes.size());
    for (const auto& plane : planes)
        tail.emplace_back(plane.begin() + static_cast<std::ptrdiff_t>(from), plane.end());
    return tail;
}

} // namespace

TSampleStore::TSampleStore(int channels, bool narrow) : IsNarrow(narrow) {
    if (narrow)
        Narrow16.resize(static_cast<std::size_t>(channels));
    else
        Wide.resize(static_cast<std::size_t>(channels));
}

int TSampleStore::Channels() const {
    return static_cast<int>(IsNarrow ? Narrow16.size() : Wide.size());
}

std::int64_t TSampleStore::Size() const {
    if (IsNarrow)
        return Narrow16.empty() ? 0 : static_cast<std::int64_t>(Narrow16[0].size());
    return Wide.empty() ? 0 : static_cast<std::int64_t>(Wide[0].size());
}

void TSampleStore::Reserve(std::int64_t samples) {
    for (auto& plane : Narrow16)
        plane.reserve(static_cast<std::size_t>(samples));
    for (auto& plane : Wide)
        plane.reserve(static_cast<std::size_t>(samples));
}

void TSampleStore::Extend(std::int64_t count, std::uint8_t** planes) {
    if (IsNarrow)
        Grow(Narrow16, count, planes);
    else
        Grow(Wide, count, planes);
}

void TSampleStore::CopyOut(int channel, std::int64_t from, int count, float* out) const {
    const auto c = static_cast<std::size_t>(channel);
    const auto start = static_cast<std::size_t>(from);
    if (!IsNarrow) {
        std::memcpy(out, Wide[c].data() + start, static_cast<std::size_t>(count) * sizeof(float));
        return;
    }
    // Exactly the sample converter's 16-bit to float step.
    const std::int16_t* in = Narrow16[c].data() + start;
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<float>(in[i]) * (1.0f / (1 << 15));
}

TSampleStore TSampleStore::Tail(std::int64_t from) const {
    TSampleStore tail;
    tail.IsNarrow = IsNarrow;
    tail.Narrow16 = TailOf(Narrow16, from);
    tail.Wide = TailOf(Wide, from);
    return tail;
}
