#include "common/WavReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

// The companion tools' chunk walk, on a file in memory under its /proc name: whatever it
// accepts reads to its end within the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("wav", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    {
        TWavReader reader;
        if (reader.Open("/proc/self/fd/" + std::to_string(fd))) {
            const auto align = static_cast<std::uint64_t>(reader.Format().BlockAlign());
            if (align == 0 || reader.Frames() * align > size)
                std::abort();
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(align) * 256);
            std::uint64_t frames = 0;
            for (long got; (got = reader.Read(buffer.data(), 256)) > 0;)
                frames += static_cast<std::uint64_t>(got);
            if (frames != reader.Frames())
                std::abort();
        }
    }
    close(fd);
    return 0;
}
