#include "sources/Ape.h"
#include "sources/Flac.h"
#include "sources/Mp3.h"

#include <cstdint>
#include <cstdlib>
#include <string>

// One screen row as the decoders' progress readers get it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    TApe::ProgressValue(line);
    TFlac::ProgressValue(line);
    // A frame count never reads as a negative share.
    const std::optional<int> lame = TMp3::LameProgressValue(line);
    if (lame && *lame < 0)
        std::abort();
    return 0;
}
