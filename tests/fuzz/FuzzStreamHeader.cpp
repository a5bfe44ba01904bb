#include "tags/MemorySource.h"
#include "tags/StreamHeader.h"

#include <cstdlib>

// The header readers behind the job's room check: whatever the bytes, a size they give names
// a real layout, and reading it neither overflows nor reads past the data.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (auto reader : {ReadFlacPcmSize, ReadApePcmSize, ReadMp3PcmSize}) {
        TMemorySource source(std::span(data, size));
        const std::optional<TPcmSize> pcm = reader(source);
        if (pcm && (pcm->SampleRate == 0 || pcm->Channels == 0 || pcm->BytesPerSample == 0 ||
                    pcm->Frames == 0))
            std::abort();
    }
    return 0;
}
