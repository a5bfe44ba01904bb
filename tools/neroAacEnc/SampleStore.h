#pragma once

#include <cstdint>
#include <vector>

// A stretch of samples, one plane per channel. Inputs of 16 bits or fewer are kept as 16-bit
// integers, which halves the memory of the segments in flight; the encoder takes them as the
// same floats the sample converter would have made.
class TSampleStore {
public:
    TSampleStore() = default;
    TSampleStore(int channels, bool narrow);

    int Channels() const;
    bool Narrow() const { return IsNarrow; }
    // Samples per channel.
    std::int64_t Size() const;
    void Reserve(std::int64_t samples);
    // Makes room for count more samples per channel and gives where each channel's go, in the
    // store's own format (16-bit integers or floats).
    void Extend(std::int64_t count, std::uint8_t** planes);
    // count samples of one channel from sample `from` on, as floats in [-1, 1).
    void CopyOut(int channel, std::int64_t from, int count, float* out) const;
    // A new store with the samples from `from` on.
    TSampleStore Tail(std::int64_t from) const;

private:
    bool IsNarrow = false;
    std::vector<std::vector<std::int16_t>> Narrow16;
    std::vector<std::vector<float>> Wide;
};
