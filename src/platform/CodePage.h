#pragma once

#include <array>
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

// UTF-32 units of four bytes; a cut-short last unit and values that are no code point become
// U+FFFD.
std::string Utf32ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian);

// The Windows ANSI code pages of the locales, in the order a user is offered them.
inline constexpr std::array<int, 14> ChoosableCodePages = {1250, 1251, 1252, 1253, 1254, 1255, 1256,
                                                           1257, 1258, 874,  932,  936,  949,  950};

// The ANSI code page Windows gives a locale such as "ru_RU.UTF-8": by its language, and for
// Chinese by its region; 1252 for any other, "C" and "POSIX" included.
int LocaleCodePage(std::string_view locale);
// The system's 8-bit code page: that of LC_ALL, else LC_CTYPE, else LANG, as the C library
// picks the locale of character types.
int SystemCodePage();

// 8-bit text of a code page from ChoosableCodePages (0: the system's) as UTF-8: 1252 as
// Windows1252ToUtf8, the others through iconv.
std::string CodePageToUtf8(std::span<const std::uint8_t> bytes, int codePage);
std::string CodePageToUtf8(std::string_view bytes, int codePage);

// The writing systems 8-bit code pages hold; the Latin ones count as one.
enum class TScript { Latin, Cyrillic, Greek, Hebrew, Arabic, Thai, Chinese, Japanese, Korean };
TScript CodePageScript(int codePage);
// Of a charset as iconv or libuchardet name it, in any case; Latin for names it does not know.
TScript CharsetScript(std::string_view charset);

} // namespace platform
