#include "platform/Iconv.h"

#include <cerrno>
#include <iconv.h>

namespace {

iconv_t AsIconv(void* handle) {
    return static_cast<iconv_t>(handle);
}

} // namespace

TIconv::TIconv(const char* fromCharset) {
    const iconv_t handle = iconv_open("UTF-8", fromCharset);
    if (handle != reinterpret_cast<iconv_t>(-1))
        Handle = handle;
}

TIconv::~TIconv() {
    if (Handle)
        iconv_close(AsIconv(Handle));
}

std::string TIconv::ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string text;
    if (!Handle)
        return text;
    // Back to the initial shift state: an earlier call may have stopped inside one.
    iconv(AsIconv(Handle), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(AsIconv(Handle), &in, &inLeft, &out, &outLeft);
        text.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: one byte is lost to the replacement character and the rest goes on.
        text += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        iconv(AsIconv(Handle), nullptr, nullptr, nullptr, nullptr);
    }
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(AsIconv(Handle), nullptr, nullptr, &out, &outLeft);
    text.append(buffer, static_cast<std::size_t>(out - buffer));
    return text;
}
