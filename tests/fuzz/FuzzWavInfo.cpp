#include "pipeline/Wavinfo.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

// The program's chunk walk: whatever the file, the audio it counts is audio the file holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    TWavInfo info;
    info.ReadStream(in);
    const int seconds = info.Seconds();
    if (info.DataBytes() > size || (info.Truncated() && !info.Valid) ||
        (!info.Valid && seconds != -1) || seconds < -1)
        std::abort();
    return 0;
}
