#include "tags/ApeTagReader.h"

#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/CodePage.h"
#include "tags/FileSource.h"
#include "tags/Id3v1library.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t Id3v1Size = 128;
constexpr std::size_t FooterSize = 32;
constexpr std::size_t ItemHeaderSize = 8;

// The few genres this file kind spells otherwise than the ID3v1 list.
constexpr std::pair<std::size_t, std::string_view> ApeGenreSpellings[] = {
    {40, "Alternative Rock"},   {64, "Native US"},     {123, "Acappella"},
    {136, "Christian Gangsta"}, {144, "Thrash Metal"},
};

// The items read besides TagNames; a Track of "n/m" gives the track total.
constexpr std::pair<std::string_view, TTagField> FurtherKeys[] = {
    {"Album Artist", TTagField::AlbumArtist},
    {"ALBUMARTIST", TTagField::AlbumArtist},
    {"Disc", TTagField::Disc},
    {"Composer", TTagField::Composer},
    {"Compilation", TTagField::Compilation},
};

// Only the ID3v1 genres 0 to 127 are taken from the trailer; the rest give the empty entry.
constexpr std::uint8_t HighestTrailerGenre = 127;

std::string ValueText(std::span<const std::uint8_t> value) {
    return platform::Utf8ToText(
        value.first(std::find(value.begin(), value.end(), 0) - value.begin()));
}

} // namespace

TApeTagReader::TApeTagReader() : GenreNames(ID3Genres.begin(), ID3Genres.end()) {
    for (const auto& [index, name] : ApeGenreSpellings)
        GenreNames[index] = name;
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
    ReadApeTag(file, tagValues);
}

void TApeTagReader::ReadId3v1(TByteSource& file, std::span<std::string> tagValues) {
    TID3v1Tag trailer;
    trailer.CodePage = CodePage;
    if (!file.Seek(file.Size() - Id3v1Size) || trailer.LoadFromStream(file) != TID3v1Tag::ResultOk)
        return;
    Id3v1Length = Id3v1Size;
    tagValues[Slot(TTagField::Title)] = trailer.Title;
    tagValues[Slot(TTagField::Artist)] = trailer.Artist;
    tagValues[Slot(TTagField::Track)] =
        trailer.Track != 0 ? std::to_string(trailer.Track) : std::string();
    tagValues[Slot(TTagField::Album)] = trailer.Album;
    tagValues[Slot(TTagField::Comment)] = trailer.Comment;
    tagValues[Slot(TTagField::Genre)] =
        GenreNames[trailer.GenreByte <= HighestTrailerGenre ? trailer.GenreByte
                                                            : GenreNames.size() - 1];
    tagValues[Slot(TTagField::Year)] = trailer.Year;
}

// The items lie between the start the footer gives and the footer itself. Reading stays inside
// that range whatever the item count and sizes claim, so neither the ID3v1 trailer nor anything
// past the file is read and no more rounds are run than the tag has bytes.
std::uint64_t TApeTagReader::FindItems(TByteSource& file, std::uint32_t& itemCount) {
    const std::uint64_t tagEnd = file.Size() - Id3v1Length;
    if (tagEnd < FooterSize || !file.Seek(tagEnd - FooterSize) ||
        file.Read(ApeFooter.data(), FooterSize) != FooterSize ||
        std::memcmp(ApeFooter.data(), "APETAGEX", 8) != 0)
        return 0;
    const std::uint32_t tagSize = platform::LittleEndian32(ApeFooter.data() + 12);
    itemCount = platform::LittleEndian32(ApeFooter.data() + 16);
    if (tagSize > tagEnd || !file.Seek(tagEnd - tagSize))
        return 0;
    return tagEnd - FooterSize;
}

bool TApeTagReader::NextItem(TByteSource& file, std::uint64_t end, std::uint32_t& valueSize) {
    std::uint8_t header[ItemHeaderSize] = {};
    if (file.Position() + ItemHeaderSize > end ||
        file.Read(header, ItemHeaderSize) != ItemHeaderSize || !ReadKey(file, end))
        return false;
    valueSize = platform::LittleEndian32(header);
    return valueSize <= end - file.Position();
}

void TApeTagReader::ReadApeTag(TByteSource& file, std::span<std::string> tagValues) {
    std::uint32_t itemCount = 0;
    const std::uint64_t itemsEnd = FindItems(file, itemCount);
    for (std::uint32_t item = 0; itemsEnd != 0 && item < itemCount; ++item) {
        std::uint32_t valueSize = 0;
        if (!NextItem(file, itemsEnd, valueSize))
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
        if (slot >= 0 && static_cast<std::size_t>(slot) < tagValues.size())
            tagValues[slot] = std::move(text);
    }
}

bool TApeTagReader::SeekItem(TByteSource& file, const char* key, std::uint32_t& valueSize) {
    Id3v1Length = 0;
    ApeFooter = {};
    if (file.Size() < Id3v1Size)
        return false;
    // Only to learn whether the trailer is there; its values are not wanted.
    std::array<std::string, TagFieldCount> unused;
    ReadId3v1(file, unused);
    std::uint32_t itemCount = 0;
    const std::uint64_t itemsEnd = FindItems(file, itemCount);
    for (std::uint32_t item = 0; itemsEnd != 0 && item < itemCount; ++item) {
        if (!NextItem(file, itemsEnd, valueSize))
            return false;
        if (platform::SameTextAscii(ItemKey, key))
            return true;
        if (!file.Seek(file.Position() + valueSize))
            return false;
    }
    return false;
}

std::vector<std::uint8_t> TApeTagReader::ReadFrontCover(TByteSource& file, std::size_t maxImage) {
    std::uint32_t valueSize = 0;
    if (!SeekItem(file, "Cover Art (Front)", valueSize))
        return {};
    const std::uint64_t valueEnd = file.Position() + valueSize;
    std::uint8_t byte = 1;
    while (byte != 0 && file.Position() < valueEnd)
        if (file.Read(&byte, 1) != 1)
            return {};
    if (byte != 0 || valueEnd - file.Position() > maxImage)
        return {};
    std::vector<std::uint8_t> image(valueEnd - file.Position());
    if (file.Read(image.data(), image.size()) != image.size())
        return {};
    return image;
}

std::string TApeTagReader::ReadCueSheet(TByteSource& file, std::size_t maxBytes) {
    std::uint32_t valueSize = 0;
    if (!SeekItem(file, "Cuesheet", valueSize) || valueSize > maxBytes)
        return {};
    std::string sheet(valueSize, '\0');
    if (file.Read(reinterpret_cast<std::uint8_t*>(sheet.data()), valueSize) != valueSize)
        return {};
    return sheet;
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
    if (platform::SameTextAscii(key, "YEAR"))
        key = "DATE";
    else if (platform::SameTextAscii(key, "TRACK"))
        key = "TRACKNUMBER";
    for (std::size_t i = 0; i < TagNames.size(); ++i)
        if (platform::SameTextAscii(key, TagNames[i]))
            return static_cast<int>(i);
    for (const auto& [name, field] : FurtherKeys)
        if (platform::SameTextAscii(key, name))
            return static_cast<int>(Slot(field));
    return -1;
}
