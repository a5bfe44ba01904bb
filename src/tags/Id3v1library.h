#pragma once

#include "tags/ByteSource.h"
#include "tags/TagResult.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The ID3v1 genre list with its usual extension, indexed by the genre byte.
extern const std::array<std::string_view, 148> ID3Genres;

// The genre name of a genre byte; bytes without an entry give the empty text.
std::string ID3v1GenreDataToString(std::uint8_t genre);

// Reads the 128-byte ID3v1 tag at the end of a file. The text fields are decoded from the 8-bit
// code page into UTF-8 here, so callers take them as they are.
class TID3v1Tag {
public:
    static constexpr int ResultOk = tagresult::Ok;
    static constexpr int ResultFileError = tagresult::FileError;
    static constexpr int ResultReadError = tagresult::ReadError;
    static constexpr int ResultNoTag = tagresult::NoTag;

    std::string FileName;
    bool Loaded = false;
    // Revision 1.1: byte 125 is zero and byte 126 holds the track.
    bool Revision1 = false;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    // 0 when there is none.
    std::uint8_t Track = 0;
    std::string Genre;
    // The genre as stored, for readers with a genre list of their own.
    std::uint8_t GenreByte = 0;
    // The 8-bit code page of the text fields; 0 for the system's.
    int CodePage = 0;

    TID3v1Tag() { Clear(); }

    void Clear();
    // ResultFileError when the file does not exist or cannot be opened.
    int LoadFromFile(const std::string& fileName);
    // Reads the block from the current position of the stream.
    int LoadFromStream(TByteSource& tagStream);
};
