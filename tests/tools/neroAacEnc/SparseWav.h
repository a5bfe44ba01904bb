#pragma once

#include <cstdint>
#include <filesystem>

namespace tooltest {

// A 24-bit WAV (RF64 past 4 GiB) of digital silence with a second of tone in every channel at
// the start of each minute, written sparsely: hours of many channels at a high rate in a
// moment and in little disk space.
void WriteSparseWav(const std::filesystem::path& path, int channels, int rate,
                    std::uint64_t frames);

} // namespace tooltest
