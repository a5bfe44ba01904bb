#include "platform/CharsetDetector.h"

#include "platform/AsciiText.h"

#include <uchardet/uchardet.h>

TCharsetDetector::TCharsetDetector() : Handle(uchardet_new()) {}

TCharsetDetector::~TCharsetDetector() {
    if (Handle)
        uchardet_delete(static_cast<uchardet_t>(Handle));
}

std::string TCharsetDetector::Guess(std::string_view bytes) {
    if (!Handle)
        return {};
    const auto detector = static_cast<uchardet_t>(Handle);
    uchardet_reset(detector);
    if (uchardet_handle_data(detector, bytes.data(), bytes.size()) != 0)
        return {};
    uchardet_data_end(detector);
    std::string name = uchardet_get_charset(detector);
    if (platform::SameTextAscii(name, "ASCII"))
        return {};
    return platform::AsciiLower(name);
}
