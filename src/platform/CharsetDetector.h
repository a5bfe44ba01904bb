#pragma once

#include <string>
#include <string_view>

// The charset libuchardet guesses for a text, as iconv names it ("windows-1251", "shift_jis").
class TCharsetDetector {
public:
    TCharsetDetector();
    TCharsetDetector(const TCharsetDetector&) = delete;
    TCharsetDetector& operator=(const TCharsetDetector&) = delete;
    ~TCharsetDetector();

    // Lower case; empty when it cannot tell, or the text is ASCII.
    std::string Guess(std::string_view bytes);

private:
    void* Handle = nullptr;
};
