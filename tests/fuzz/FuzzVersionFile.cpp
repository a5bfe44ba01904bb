#include "update/Http.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    THttp http;
    http.Body.assign(reinterpret_cast<const char*>(data), size);
    http.Ok = true;
    http.SelectSection("version");
    // The section is cut out of the body, header first, and never grows.
    if (!http.Lines.empty() && http.Lines.front().size() != 9)
        std::abort();
    std::size_t total = 0;
    for (const std::string& line : http.Lines)
        total += line.size();
    if (total > size)
        std::abort();
    const std::string file = http.GetValue("FileVersion");
    if (file.size() > size)
        std::abort();
    const int kind = http.CompareVersions("1.11.5.1", "1.0.0.1");
    if (kind < 0 || kind > 2)
        std::abort();
    // Whatever the body, a remote file version that is not newer never rates as an update.
    if (THttp::PackVersion(file) <= THttp::PackVersion("1.11.5.1") && kind != 0)
        std::abort();
    return 0;
}
