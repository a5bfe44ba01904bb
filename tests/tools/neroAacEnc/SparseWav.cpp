#include "SparseWav.h"

#include "common/WavFormat.h"

#include <cmath>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace tooltest {

void WriteSparseWav(const std::filesystem::path& path, int channels, int rate,
                    std::uint64_t frames) {
    TWavFormat fmt;
    fmt.Channels = channels;
    fmt.SampleRate = rate;
    fmt.BitsPerSample = 24;
    const auto block = static_cast<std::uint64_t>(fmt.BlockAlign());
    const std::uint64_t bytes = frames * block;
    std::string header;
    if (bytes + 36 <= 0xFFFFFFFFu) {
        const auto h = fmt.CanonicalHeader(static_cast<std::uint32_t>(bytes));
        header.assign(h.begin(), h.end());
    } else {
        const auto h = fmt.Rf64Header(bytes);
        header.assign(h.begin(), h.end());
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path.string());
    bool ok = write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size()) &&
              ftruncate(fd, static_cast<off_t>(header.size() + bytes)) == 0;
    const auto second = static_cast<std::uint64_t>(rate);
    std::vector<std::uint8_t> tone(second * block);
    for (std::uint64_t f = 0; f < second; ++f)
        for (int c = 0; c < channels; ++c) {
            const double v =
                0.3 * std::sin(2 * M_PI * (220.0 + 55 * c) * static_cast<double>(f) / rate);
            const auto s = static_cast<std::int32_t>(std::lround(v * 8388607));
            std::uint8_t* out = tone.data() + f * block + static_cast<std::uint64_t>(c) * 3;
            out[0] = static_cast<std::uint8_t>(s & 0xFF);
            out[1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            out[2] = static_cast<std::uint8_t>((s >> 16) & 0xFF);
        }
    for (std::uint64_t f = 0; ok && f + second <= frames; f += 60 * second)
        ok = pwrite(fd, tone.data(), tone.size(), static_cast<off_t>(header.size() + f * block)) ==
             static_cast<ssize_t>(tone.size());
    if (close(fd) != 0 || !ok)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace tooltest
