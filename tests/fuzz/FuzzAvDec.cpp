#include "avdec/AvDecoder.h"
#include "common/AvLog.h"
#include "common/FdIo.h"
#include "pipeline/Wavinfo.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// The decoder's whole run on a file in memory: whatever it reports as decoded is a WAV whose
// header gives exactly the samples it wrote, and a failure always comes with its reason.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool logged = (TAvLog::Install(), true);
    (void)logged;
    const int in = memfd_create("source", MFD_CLOEXEC);
    const int out = memfd_create("wav", MFD_CLOEXEC);
    if (in < 0 || out < 0)
        std::abort();
    if (size > 0 && write(in, data, size) != static_cast<ssize_t>(size))
        std::abort();
    {
        TAvDecoder decoder;
        bool ok = decoder.Open("/proc/self/fd/" + std::to_string(in));
        if (ok) {
            TFdIo io(out);
            ok = decoder.DecodeTo(io.Context(), [](std::int64_t) {}) && io.Flush();
            if (ok) {
                TWavInfo info;
                info.ReadHeader("/proc/self/fd/" + std::to_string(out));
                const auto align = static_cast<std::uint64_t>(decoder.Format().BlockAlign());
                if (!info.Valid || info.Truncated() ||
                    info.DataBytes() !=
                        static_cast<std::uint64_t>(decoder.DecodedSamples()) * align)
                    std::abort();
            }
        }
        if (!ok && decoder.Error().empty())
            std::abort();
    }
    close(in);
    close(out);
    return 0;
}
