#include "sources/ApeTagReader.h"

#include "platform/CodePage.h"
#include "tags/FileSource.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t Id3v1Size = 128;
constexpr std::size_t FooterSize = 32;
constexpr std::size_t ItemHeaderSize = 8;

constexpr std::array<std::string_view, 148> ApeGenres = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "Alternative Rock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native US",
    "Cabaret",
    "New Wave",
    "Psychedelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "Acappella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk",
    "Polsk Punk",
    "Beat",
    "Christian Gangsta",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Christian Rock",
    "Merengue",
    "Salsa",
    "Thrash Metal",
    "Anime",
    "JPop",
    "SynthPop",
};

// Only the ID3v1 genres 0 to 127 are taken from the trailer; the rest give the empty entry.
constexpr std::uint8_t HighestTrailerGenre = 127;

std::uint32_t LittleEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}

std::string TrailerField(const std::uint8_t* trailer, std::size_t offset, std::size_t width) {
    const std::span<const std::uint8_t> field(trailer + offset, width);
    return platform::Windows1252ToUtf8(
        field.first(std::find(field.begin(), field.end(), 0) - field.begin()));
}

std::string ValueText(std::span<const std::uint8_t> value) {
    return platform::Utf8ToText(
        value.first(std::find(value.begin(), value.end(), 0) - value.begin()));
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

} // namespace

TApeTagReader::TApeTagReader() : GenreNames(ApeGenres.begin(), ApeGenres.end()) {
    GenreNames.emplace_back();
}

void TApeTagReader::ReadTags(const std::string& fileName, std::span<std::string> tagValues) {
    TFileSource file;
    if (file.Open(fileName))
        ReadTags(file, tagValues);
}

void TApeTagReader::ReadTags(TByteSource& file, std::span<std::string> tagValues) {
    Id3v1Length = 0;
    ApeFooter = {};
    if (tagValues.size() < TagNames.size() || file.Size() < Id3v1Size)
        return;
    ReadId3v1(file, tagValues);
    if (ReadApeFooter(file))
        ReadApeTag(file, tagValues);
}

void TApeTagReader::ReadId3v1(TByteSource& file, std::span<std::string> tagValues) {
    std::uint8_t trailer[Id3v1Size] = {};
    if (!file.Seek(file.Size() - Id3v1Size) || file.Read(trailer, Id3v1Size) != Id3v1Size ||
        std::memcmp(trailer, "TAG", 3) != 0)
        return;
    Id3v1Length = Id3v1Size;
    const bool revision1 = trailer[125] == 0 && trailer[126] != 0;
    const std::uint8_t genre = trailer[127];
    tagValues[0] = TrailerField(trailer, 3, 30);
    tagValues[1] = TrailerField(trailer, 33, 30);
    tagValues[2] = revision1 ? std::to_string(trailer[126]) : std::string();
    tagValues[3] = TrailerField(trailer, 63, 30);
    tagValues[4] = TrailerField(trailer, 97, revision1 ? 28 : 30);
    tagValues[5] = GenreNames[genre <= HighestTrailerGenre ? genre : GenreNames.size() - 1];
    tagValues[6] = TrailerField(trailer, 93, 4);
}

bool TApeTagReader::ReadApeFooter(TByteSource& file) {
    const std::uint64_t tagEnd = file.Size() - Id3v1Length;
    return tagEnd >= FooterSize && file.Seek(tagEnd - FooterSize) &&
           file.Read(ApeFooter.data(), FooterSize) == FooterSize &&
           std::memcmp(ApeFooter.data(), "APETAGEX", 8) == 0;
}

// The items lie between the start the footer gives and the footer itself. Reading stays inside
// that range whatever the item count and sizes claim, so neither the ID3v1 trailer nor anything
// past the file is read and no more rounds are run than the tag has bytes.
void TApeTagReader::ReadApeTag(TByteSource& file, std::span<std::string> tagValues) {
    const std::uint64_t tagEnd = file.Size() - Id3v1Length;
    const std::uint64_t itemsEnd = tagEnd - FooterSize;
    const std::uint32_t tagSize = LittleEndian32(ApeFooter.data() + 12);
    const std::uint32_t itemCount = LittleEndian32(ApeFooter.data() + 16);
    if (tagSize > tagEnd || !file.Seek(tagEnd - tagSize))
        return;
    for (std::uint32_t item = 0; item < itemCount; ++item) {
        std::uint8_t header[ItemHeaderSize] = {};
        if (file.Position() + ItemHeaderSize > itemsEnd ||
            file.Read(header, ItemHeaderSize) != ItemHeaderSize || !ReadKey(file, itemsEnd))
            return;
        const std::uint32_t valueSize = LittleEndian32(header);
        if (valueSize > itemsEnd - file.Position())
            return;
        const int slot = KeySlot();
        std::string text;
        if (valueSize <= ValueBufferSize) {
            if (file.Read(ValueBuffer.data(), valueSize) != valueSize)
                return;
            text = ValueText(std::span(ValueBuffer).first(valueSize));
        } else if (slot >= 0) {
            // A long value of a known item is kept whole rather than cut at the buffer size.
            std::vector<std::uint8_t> value(valueSize);
            if (file.Read(value.data(), valueSize) != valueSize)
                return;
            text = ValueText(value);
        } else if (!file.Seek(file.Position() + valueSize)) {
            return;
        }
        if (slot >= 0)
            tagValues[slot] = std::move(text);
    }
}

// The key ends at a zero byte or at any byte above 127, which is consumed with it.
bool TApeTagReader::ReadKey(TByteSource& file, std::uint64_t end) {
    ItemKey.clear();
    std::uint8_t byte = 0;
    while (file.Position() < end && file.Read(&byte, 1) == 1) {
        if (byte == 0 || byte > 127)
            return true;
        ItemKey += static_cast<char>(byte);
    }
    return false;
}

int TApeTagReader::KeySlot() const {
    std::string_view key = ItemKey;
    if (SameKey(key, "YEAR"))
        key = "DATE";
    else if (SameKey(key, "TRACK"))
        key = "TRACKNUMBER";
    for (std::size_t i = 0; i < TagNames.size(); ++i)
        if (SameKey(key, TagNames[i]))
            return static_cast<int>(i);
    return -1;
}
