#pragma once

#include <cstdint>
#include <span>
#include <string>

// One iconv conversion from a named charset to UTF-8, open for the life of the object.
class TIconv {
public:
    explicit TIconv(const char* fromCharset);
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    ~TIconv();

    // False when the C library does not know the charset.
    bool Ok() const { return Handle != nullptr; }
    // Every byte the charset cannot read, and a sequence cut short at the end, becomes one U+FFFD;
    // the rest converts. Empty when the charset is unknown.
    std::string ToUtf8(std::span<const std::uint8_t> bytes);

private:
    void* Handle = nullptr;
};
