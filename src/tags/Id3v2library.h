#pragma once

#include "tags/ByteSource.h"
#include "tags/TagResult.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using TFrameID = std::array<char, 4>;
using TLanguageID = std::array<char, 3>;

// One frame of an ID3v2 tag. The data is kept resynchronised but otherwise as stored: not
// inflated; an encrypted frame's data is not kept at all.
class TID3v2Frame {
public:
    TFrameID ID{};
    std::uint32_t Size = 0;
    std::vector<std::uint8_t> Stream;
    std::uint16_t Flags = 0;
    bool TagAlterPreservation = false;
    bool FileAlterPreservation = false;
    bool ReadOnly = false;
    bool Compressed = false;
    bool Encrypted = false;
    bool GroupingIdentity = false;
    // Version 4's frame flag: the bytes at DataPosition are unsynchronised (Stream no longer is).
    bool Unsynchronised = false;
    bool DataLengthIndicator = false;
    std::uint8_t GroupIdentifier = 0;
    std::uint8_t EncryptionMethod = 0;
    std::uint32_t DataLengthIndicatorValue = 0;
    // Where the data (after any extra header bytes) lies in the stream, or in the resynchronised
    // body of a tag unsynchronised as a whole, and its stored length.
    std::uint64_t DataPosition = 0;
    std::uint32_t DataLength = 0;

    void DecodeFlags3();
    void DecodeFlags4();
};

// Reads the ID3v2 tag at the start of a file into its frames and decodes text out of them.
class TID3v2Tag {
public:
    static constexpr int ResultOk = tagresult::Ok;
    static constexpr int ResultFileError = tagresult::FileError;
    static constexpr int ResultNoTag = tagresult::NoTag;

    std::string FileName;
    bool Loaded = false;
    std::uint8_t MajorVersion = 3;
    std::uint8_t MinorVersion = 0;
    std::uint8_t Flags = 0;
    bool Unsynchronised = false;
    bool ExtendedHeader = false;
    bool Experimental = false;
    bool FooterPresent = false;
    std::array<std::uint8_t, 4> CodedSize{};
    // Recorded only: the frame scan ends at the first position without a frame ID.
    std::uint32_t Size = 0;
    std::vector<std::unique_ptr<TID3v2Frame>> Frames;
    std::array<std::uint8_t, 4> CodedExtendedHeaderSize{};
    // As stored: version 3 counts the bytes after the size field, version 4 includes it.
    std::uint32_t ExtendedHeaderSize = 0;
    std::uint16_t ExtendedHeader3Flags = 0;
    std::vector<std::uint8_t> ExtendedHeader4Flags;
    // The 8-bit code page of encoding 0; 0 for the system's.
    int CodePage = 0;

    TID3v2Tag() { Clear(); }

    void Clear();
    // ResultFileError when the file does not exist or cannot be opened.
    int LoadFromFile(const std::string& fileName);
    // Reads from the current position of the stream.
    int LoadFromStream(TByteSource& tagStream);

    int FrameCount() const { return static_cast<int>(Frames.size()); }
    // Index of the first frame with exactly this ID, or -1.
    int FrameExists(std::string_view frameID) const;

    // The string of a text frame, in version 4 all its strings joined with "; "; empty when there
    // is no such frame.
    std::string GetUnicodeText(std::string_view frameID) const;
    std::string GetUnicodeText(int index) const;
    // The frame's non-empty strings one by one: one in versions 2 and 3.
    std::vector<std::string> GetUnicodeTexts(std::string_view frameID) const;
    std::vector<std::string> GetUnicodeTexts(int index) const;
    // The content of a comment frame, whatever its language and description.
    std::string GetUnicodeComment(std::string_view frameID, TLanguageID& languageID,
                                  std::string& description) const;
    std::string GetUnicodeComment(int index, TLanguageID& languageID,
                                  std::string& description) const;

    // The image of the front cover: the first picture (APIC, PIC in version 2) of type 3, else
    // the first picture, resynchronised when its frame is unsynchronised. Loads the tag from the
    // current position keeping only the heads of the pictures, then reads the chosen one alone.
    // Empty when there is none, it is compressed or encrypted, or its image exceeds maxImage.
    std::vector<std::uint8_t> ReadFrontCover(TByteSource& tagStream, std::size_t maxImage);

private:
    bool PictureHeadsOnly = false;
    // The tag after its header with unsynchronisation undone, for versions 2 and 3 when the
    // whole tag is unsynchronised; empty otherwise.
    std::vector<std::uint8_t> TagBody;

    // The picture type of a picture frame whose head can be read; nothing for any other frame.
    std::optional<std::uint8_t> PictureType(const TID3v2Frame& frame) const;
    void DecodeFlags();
    void ReadExtendedHeader(TByteSource& tagStream);
    // The extended header and the frames after the tag header.
    void LoadFrames(TByteSource& tagStream);
    bool LoadFrame(TByteSource& tagStream);
    // A version-2 frame: three-character ID and size, no flags. The frames the program reads
    // are kept under their four-character names, the others skipped.
    bool LoadFrame2(TByteSource& tagStream);
    void LoadFrameData(TByteSource& tagStream, TID3v2Frame& frame);
    void LoadFrameBytes(TByteSource& tagStream, TID3v2Frame& frame, std::uint32_t dataLength);
    TID3v2Frame& AddFrame(const TFrameID& id);
    void DeleteAllFrames() { Frames.clear(); }
};

// A genre as a TCON frame holds it, with references to the genre table resolved: "(17)" and "17"
// give "Rock", "(RX)" "Remix", "(CR)" "Cover"; text after references wins, "((" escapes a "(",
// and any other text or an unknown reference stays as it is.
std::string ID3v2GenreToString(const std::string& text);
