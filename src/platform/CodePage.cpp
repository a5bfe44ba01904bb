#include "platform/CodePage.h"

#include "platform/AsciiText.h"
#include "platform/Iconv.h"

#include <array>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Windows-1252 from 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian) {
    std::string text;
    text.reserve(bytes.size());
    char32_t pendingHigh = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t unit = bytes[i];
        if (i + 1 < bytes.size())
            unit = bigEndian ? (unit << 8) | bytes[i + 1] : unit | (char32_t{bytes[i + 1]} << 8);
        if (pendingHigh != 0) {
            if (IsLowSurrogate(unit)) {
                AppendUtf8(text, 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00));
                pendingHigh = 0;
                continue;
            }
            AppendUtf8(text, Replacement);
            pendingHigh = 0;
        }
        if (IsHighSurrogate(unit))
            pendingHigh = unit;
        else
            AppendUtf8(text, IsLowSurrogate(unit) ? Replacement : unit);
    }
    if (pendingHigh != 0)
        AppendUtf8(text, Replacement);
    return text;
}

} // namespace

void AppendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = Replacement;
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

std::string Utf8ToText(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i++];
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            continue;
        }
        // Two- and three-byte sequences as the lead byte's bit 0x20 says; four-byte sequences are
        // taken whole so that characters beyond U+FFFF survive.
        int following = 1;
        char32_t codePoint = lead & 0x3F;
        if ((lead & 0xF8) == 0xF0) {
            following = 3;
            codePoint = lead & 0x07;
        } else if (lead & 0x20) {
            following = 2;
            codePoint = lead & 0x1F;
        }
        for (int k = 0; k < following; ++k) {
            if (i >= bytes.size() || (bytes[i] & 0xC0) != 0x80)
                return text;
            codePoint = (codePoint << 6) | (bytes[i++] & 0x3F);
        }
        // An overlong zero would put a NUL inside the text.
        AppendUtf8(text, codePoint == 0 ? Replacement : codePoint);
    }
    return text;
}

std::string Utf8ToText(std::string_view bytes) {
    return Utf8ToText(AsBytes(bytes));
}

std::string ValidUtf8(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            ++i;
            continue;
        }
        int length = 0;
        char32_t codePoint = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        ++i;
        int k = 1;
        for (; k < length && i < bytes.size(); ++k) {
            const std::uint8_t next = bytes[i];
            if (k == 1 ? next < low || next > high : (next & 0xC0) != 0x80)
                break;
            codePoint = (codePoint << 6) | (next & 0x3F);
            ++i;
        }
        AppendUtf8(text, length != 0 && k == length ? codePoint : Replacement);
    }
    return text;
}

std::string Windows1252ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const std::uint8_t byte : bytes)
        AppendUtf8(text, byte >= 0x80 && byte < 0xA0 ? Cp1252High[byte - 0x80] : char32_t{byte});
    return text;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    return Windows1252ToUtf8(AsBytes(bytes));
}

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
    return Utf16ToUtf8(bytes, false);
}

std::string Utf16BeToUtf8(std::span<const std::uint8_t> bytes) {
    return Utf16ToUtf8(bytes, true);
}

std::string Utf32ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian) {
    std::string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        if (i + 4 > bytes.size()) {
            AppendUtf8(text, Replacement);
            break;
        }
        char32_t unit = 0;
        for (std::size_t k = 0; k < 4; ++k)
            unit |= char32_t{bytes[i + k]} << (bigEndian ? 24 - 8 * k : 8 * k);
        AppendUtf8(text, unit);
    }
    return text;
}

int LocaleCodePage(std::string_view locale) {
    const std::size_t languageEnd = locale.find_first_of("_.@");
    const std::string language = AsciiLower(std::string(locale.substr(0, languageEnd)));
    std::string region;
    if (languageEnd != std::string_view::npos && locale[languageEnd] == '_') {
        const std::string_view rest = locale.substr(languageEnd + 1);
        region = AsciiLower(std::string(rest.substr(0, rest.find_first_of(".@"))));
    }
    struct TLanguages {
        int CodePage;
        std::array<std::string_view, 7> Names;
    };
    static constexpr std::array<TLanguages, 11> Table = {{
        {1251, {"ru", "uk", "be", "bg", "sr"}},
        {932, {"ja"}},
        {949, {"ko"}},
        {1250, {"cs", "pl", "hu", "sk", "sl", "hr", "ro"}},
        {1253, {"el"}},
        {1254, {"tr"}},
        {1255, {"he"}},
        {1256, {"ar", "fa"}},
        {1257, {"et", "lv", "lt"}},
        {1258, {"vi"}},
        {874, {"th"}},
    }};
    if (language == "zh")
        return region == "tw" || region == "hk" || region == "mo" ? 950 : 936;
    for (const TLanguages& entry : Table)
        for (const std::string_view name : entry.Names)
            if (!name.empty() && name == language)
                return entry.CodePage;
    return 1252;
}

int SystemCodePage() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(variable); value && *value)
            return LocaleCodePage(value);
    return 1252;
}

std::string CodePageToUtf8(std::span<const std::uint8_t> bytes, int codePage) {
    if (codePage == 0)
        codePage = SystemCodePage();
    if (codePage != 1252) {
        TIconv iconv(("CP" + std::to_string(codePage)).c_str());
        if (iconv.Ok())
            return iconv.ToUtf8(bytes);
    }
    return Windows1252ToUtf8(bytes);
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
    return CodePageToUtf8(AsBytes(bytes), codePage);
}

TScript CodePageScript(int codePage) {
    switch (codePage) {
    case 1251:
        return TScript::Cyrillic;
    case 1253:
        return TScript::Greek;
    case 1255:
        return TScript::Hebrew;
    case 1256:
        return TScript::Arabic;
    case 874:
        return TScript::Thai;
    case 936:
    case 950:
        return TScript::Chinese;
    case 932:
        return TScript::Japanese;
    case 949:
        return TScript::Korean;
    default:
        return TScript::Latin;
    }
}

TScript CharsetScript(std::string_view charset) {
    struct TNames {
        TScript Script;
        std::array<std::string_view, 8> Names;
    };
    static constexpr std::array<TNames, 8> Table = {{
        {TScript::Cyrillic,
         {"windows-1251", "koi8-r", "koi8-u", "ibm866", "ibm855", "iso-8859-5", "mac-cyrillic"}},
        {TScript::Greek, {"windows-1253", "iso-8859-7"}},
        {TScript::Hebrew, {"windows-1255", "iso-8859-8"}},
        {TScript::Arabic, {"windows-1256", "iso-8859-6"}},
        {TScript::Thai, {"tis-620", "iso-8859-11", "windows-874"}},
        {TScript::Chinese, {"gb18030", "gb2312", "gbk", "big5", "euc-tw", "hz-gb-2312"}},
        {TScript::Japanese, {"shift_jis", "euc-jp", "iso-2022-jp"}},
        {TScript::Korean, {"euc-kr", "uhc", "cp949", "iso-2022-kr"}},
    }};
    const std::string name = AsciiLower(std::string(charset));
    for (const TNames& entry : Table)
        for (const std::string_view known : entry.Names)
            if (!known.empty() && known == name)
                return entry.Script;
    return TScript::Latin;
}

} // namespace platform
