#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Decoders from the byte encodings found in tags to UTF-8 text. Every result is valid UTF-8.
namespace platform {

// Appends one code point; surrogates and values beyond U+10FFFF become U+FFFD.
void AppendUtf8(std::string& text, char32_t codePoint);

// The tolerant UTF-8 decoder of the APE tag values: decoding stops, keeping what came before, at a
// sequence cut short by a byte that does not continue it or by the end of the bytes.
std::string Utf8ToText(std::span<const std::uint8_t> bytes);
std::string Utf8ToText(std::string_view bytes);

// Strict UTF-8: every ill-formed sequence becomes one U+FFFD per maximal invalid subpart.
std::string ValidUtf8(std::span<const std::uint8_t> bytes);

// The 8-bit code page of tag fields. 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which the code page leaves
// undefined, map to the C1 controls of the same value, as Windows converts them.
std::string Windows1252ToUtf8(std::span<const std::uint8_t> bytes);
std::string Windows1252ToUtf8(std::string_view bytes);

// UTF-16 units read in pairs; a lone final byte counts as a unit with a zero high byte. Unpaired
// surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);
std::string Utf16BeToUtf8(std::span<const std::uint8_t> bytes);

} // namespace platform
