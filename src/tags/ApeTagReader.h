#pragma once

#include "tags/ByteSource.h"
#include "tags/TagField.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Reads the tags at the end of an APE file, the ID3v1 trailer first and then the APEv2 tag, whose
// values take precedence, into the tag values, indexed by TTagField: the seven, and the further
// ones when there is room for them. It never fails: what it cannot read keeps its value.
class TApeTagReader {
public:
    static constexpr std::array<std::string_view, TagFieldCount> TagNames = {
        "TITLE", "ARTIST", "TRACKNUMBER", "ALBUM", "COMMENT", "GENRE", "DATE"};
    static constexpr std::size_t ValueBufferSize = 512;

    // The ID3v1 genre list with this file kind's few spellings of its own, then the empty text.
    std::vector<std::string> GenreNames;
    // 128 when the file ends in an ID3v1 trailer, else 0.
    int Id3v1Length = 0;
    std::array<std::uint8_t, 32> ApeFooter{};
    std::string ItemKey;
    std::array<std::uint8_t, ValueBufferSize> ValueBuffer{};
    // The 8-bit code page of the ID3v1 trailer; 0 for the system's.
    int CodePage = 0;

    TApeTagReader();

    // tagValues holds at least TagFieldCount values, in the order of TagNames.
    void ReadTags(const std::string& fileName, std::span<std::string> tagValues);
    void ReadTags(TByteSource& file, std::span<std::string> tagValues);
    // The image of the binary item "Cover Art (Front)" (a file name, a zero byte, the image),
    // read alone; empty when there is none or the image is larger than maxImage.
    std::vector<std::uint8_t> ReadFrontCover(TByteSource& file, std::size_t maxImage);
    // The bytes of the text item "Cuesheet", a whole sheet; empty when there is none or it is
    // larger than maxBytes.
    std::string ReadCueSheet(TByteSource& file, std::size_t maxBytes);

private:
    void ReadId3v1(TByteSource& file, std::span<std::string> tagValues);
    void ReadApeTag(TByteSource& file, std::span<std::string> tagValues);
    // Reads the footer before the trailer (Id3v1Length) and moves to the first item; the end of
    // the items and their count, or an end of 0 when there is no tag whose start lies in the file.
    std::uint64_t FindItems(TByteSource& file, std::uint32_t& itemCount);
    // Reads an item's header and key; false when it does not lie whole before end.
    bool NextItem(TByteSource& file, std::uint64_t end, std::uint32_t& valueSize);
    bool ReadKey(TByteSource& file, std::uint64_t end);
    // Moves to the value of the first item named key; false when there is none.
    bool SeekItem(TByteSource& file, const char* key, std::uint32_t& valueSize);
    int KeySlot() const;
};
