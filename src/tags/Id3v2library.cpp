#include "tags/Id3v2library.h"

#include "platform/ByteOrder.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "tags/FileSource.h"
#include "tags/Id3v1library.h"
#include "tags/MemorySource.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

using Bytes = std::span<const std::uint8_t>;

// Frame data is copied in blocks of this size; a block the file cannot fill is dropped.
constexpr std::size_t CopyBlock = 61440;

// Enough of a picture frame to reach its type byte behind any real MIME type.
constexpr std::size_t PictureHeadSize = 256;
// Room for the encoding, MIME type and description before the image.
constexpr std::size_t PictureHeaderRoom = 65536;

enum class ByteOrder { Little, Big };

std::uint32_t UnSyncSafe(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} & 0x7F) << 21 | (std::uint32_t{b[1]} & 0x7F) << 14 |
           (std::uint32_t{b[2]} & 0x7F) << 7 | (std::uint32_t{b[3]} & 0x7F);
}

bool ValidFrameID(const std::uint8_t* id, std::size_t length = 4) {
    return std::all_of(id, id + length, [](std::uint8_t c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
    });
}

// The version-2 frames the program reads, under the names of their later counterparts.
std::optional<TFrameID> Version2Counterpart(const std::uint8_t* id) {
    static const std::pair<std::string_view, std::string_view> Names[] = {
        {"TT2", "TIT2"}, {"TP1", "TPE1"}, {"TAL", "TALB"}, {"TYE", "TYER"},
        {"TRK", "TRCK"}, {"TCO", "TCON"}, {"COM", "COMM"}, {"TP2", "TPE2"},
        {"TPA", "TPOS"}, {"TCM", "TCOM"}, {"TCP", "TCMP"}};
    for (const auto& [old, current] : Names)
        if (std::equal(old.begin(), old.end(), id))
            return TFrameID{current[0], current[1], current[2], current[3]};
    return std::nullopt;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A genre reference: a number of the genre table, RX or CR.
std::optional<std::string> GenreReference(std::string_view reference) {
    if (reference == "RX")
        return "Remix";
    if (reference == "CR")
        return "Cover";
    if (!AllDigits(reference) || reference.size() > 3)
        return std::nullopt;
    const int number = std::stoi(std::string(reference));
    if (number >= static_cast<int>(ID3Genres.size()))
        return std::nullopt;
    return std::string(ID3Genres[static_cast<std::size_t>(number)]);
}

Bytes UpToZeroByte(Bytes bytes) {
    return bytes.first(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin());
}

// Byte length of the 16-bit units before the first zero unit; a lone final byte is a unit with a
// zero high byte.
struct TUnitRun {
    std::size_t Length;
    bool Terminated;
};

TUnitRun Utf16Run(Bytes bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const bool zero = bytes[i] == 0 && (i + 1 >= bytes.size() || bytes[i + 1] == 0);
        if (zero)
            return {i, true};
    }
    return {bytes.size(), false};
}

std::string DecodeUtf16(Bytes bytes, ByteOrder order) {
    return order == ByteOrder::Little ? platform::Utf16LeToUtf8(bytes)
                                      : platform::Utf16BeToUtf8(bytes);
}

std::optional<ByteOrder> MarkOrder(Bytes bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return ByteOrder::Little;
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return ByteOrder::Big;
    return std::nullopt;
}

// A leading byte-order mark chooses the order and is dropped; without one the default holds.
ByteOrder TakeMark(Bytes& bytes, ByteOrder fallback) {
    const std::optional<ByteOrder> order = MarkOrder(bytes);
    if (!order)
        return fallback;
    bytes = bytes.subspan(2);
    return *order;
}

std::string FirstUtf16String(Bytes bytes, ByteOrder order) {
    return DecodeUtf16(bytes.first(Utf16Run(bytes).Length), order);
}

std::string Decode8Bit(Bytes bytes, std::uint8_t encoding, int codePage) {
    return encoding == 0 ? platform::CodePageToUtf8(bytes, codePage) : platform::ValidUtf8(bytes);
}

// Content of a UTF-16 comment with a byte-order mark of its own. Without one at its start, the
// content begins after the first FF FE pair met, as some writers put something before it.
std::string MarkedUtf16Content(Bytes bytes) {
    if (const std::optional<ByteOrder> order = MarkOrder(bytes))
        return FirstUtf16String(bytes.subspan(2), *order);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0xFF)
            continue;
        if (++i < bytes.size() && bytes[i] == 0xFE)
            return FirstUtf16String(bytes.subspan(i + 1), ByteOrder::Little);
    }
    return {};
}

// Undoes unsynchronisation in place: every FF 00 pair loses its 00.
void Resynchronise(std::vector<std::uint8_t>& data) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < data.size(); ++in) {
        const std::uint8_t byte = data[in];
        data[out++] = byte;
        if (byte == 0xFF && in + 1 < data.size() && data[in + 1] == 0x00)
            ++in;
    }
    data.resize(out);
}

// Where the image starts in a picture frame's data: after the encoding, the MIME type (three
// characters of image format in version 2), the type byte and the description, whose end is a
// zero byte, or two in UTF-16.
std::optional<std::size_t> ImageStart(Bytes data, bool version2) {
    if (data.empty() || data[0] > 3)
        return std::nullopt;
    std::size_t at = 5;
    if (!version2) {
        const auto zero = std::find(data.begin() + 1, data.end(), 0);
        if (zero == data.end())
            return std::nullopt;
        at = static_cast<std::size_t>(zero - data.begin()) + 2;
    }
    if (at > data.size())
        return std::nullopt;
    const Bytes description = data.subspan(at);
    if (data[0] == 1 || data[0] == 2) {
        const TUnitRun run = Utf16Run(description);
        if (!run.Terminated || run.Length + 2 > description.size())
            return std::nullopt;
        return at + run.Length + 2;
    }
    const Bytes text = UpToZeroByte(description);
    if (text.size() == description.size())
        return std::nullopt;
    return at + text.size() + 1;
}

} // namespace

namespace {

// Where the flags both versions know sit in a version's frame header.
struct TFlagBits {
    std::uint16_t TagAlter, FileAlter, ReadOnly, Compressed, Encrypted, Grouping;
};

constexpr TFlagBits Version3Flags = {0x8000, 0x4000, 0x2000, 0x0080, 0x0040, 0x0020};
constexpr TFlagBits Version4Flags = {0x4000, 0x2000, 0x1000, 0x0008, 0x0004, 0x0040};

void DecodeSharedFlags(TID3v2Frame& frame, const TFlagBits& bits) {
    frame.TagAlterPreservation = frame.Flags & bits.TagAlter;
    frame.FileAlterPreservation = frame.Flags & bits.FileAlter;
    frame.ReadOnly = frame.Flags & bits.ReadOnly;
    frame.Compressed = frame.Flags & bits.Compressed;
    frame.Encrypted = frame.Flags & bits.Encrypted;
    frame.GroupingIdentity = frame.Flags & bits.Grouping;
}

} // namespace

void TID3v2Frame::DecodeFlags3() {
    DecodeSharedFlags(*this, Version3Flags);
    DataLengthIndicator = false;
}

void TID3v2Frame::DecodeFlags4() {
    DecodeSharedFlags(*this, Version4Flags);
    Unsynchronised = Flags & 0x0002;
    DataLengthIndicator = Flags & 0x0001;
}

void TID3v2Tag::Clear() {
    DeleteAllFrames();
    FileName.clear();
    Loaded = false;
    MajorVersion = 3;
    MinorVersion = 0;
    Flags = 0;
    Unsynchronised = false;
    ExtendedHeader = false;
    Experimental = false;
    FooterPresent = false;
    CodedSize = {};
    Size = 0;
    CodedExtendedHeaderSize = {};
    ExtendedHeaderSize = 0;
    ExtendedHeader3Flags = 0;
    ExtendedHeader4Flags.clear();
    TagBody.clear();
}

int TID3v2Tag::LoadFromFile(const std::string& fileName) {
    DeleteAllFrames();
    Loaded = false;
    if (!platform::FileExists(fileName))
        return ResultFileError;
    TFileSource file;
    if (!file.Open(fileName))
        return ResultFileError;
    const int result = LoadFromStream(file);
    if (result == ResultOk)
        FileName = fileName;
    return result;
}

int TID3v2Tag::LoadFromStream(TByteSource& tagStream) {
    Loaded = false;
    DeleteAllFrames();
    std::uint8_t header[10] = {};
    if (tagStream.Read(header, sizeof header) != sizeof header || tagStream.Failed() ||
        std::memcmp(header, "ID3", 3) != 0 || header[3] > 4)
        return ResultNoTag;
    MajorVersion = header[3];
    MinorVersion = header[4];
    Flags = header[5];
    DecodeFlags();
    std::copy(header + 6, header + 10, CodedSize.begin());
    Size = UnSyncSafe(CodedSize.data());
    TagBody.clear();
    if (Unsynchronised && MajorVersion < 4) {
        // Versions 2 and 3 unsynchronise the whole tag after its header, frame headers and
        // sizes included, so it is undone before any frame is read.
        TagBody.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(Size, tagStream.Remaining())));
        TagBody.resize(tagStream.Read(TagBody.data(), TagBody.size()));
        Resynchronise(TagBody);
        TMemorySource body(TagBody);
        LoadFrames(body);
    } else {
        LoadFrames(tagStream);
    }
    Loaded = true;
    return ResultOk;
}

void TID3v2Tag::LoadFrames(TByteSource& tagStream) {
    if (MajorVersion == 2) {
        // Bit 6 marks a compressed version-2 tag, for which no scheme was ever defined.
        if (!ExtendedHeader)
            while (LoadFrame2(tagStream)) {
            }
        return;
    }
    if (ExtendedHeader)
        ReadExtendedHeader(tagStream);
    while (LoadFrame(tagStream)) {
    }
}

void TID3v2Tag::DecodeFlags() {
    Unsynchronised = Flags & 0x80;
    ExtendedHeader = Flags & 0x40;
    Experimental = Flags & 0x20;
    FooterPresent = Flags & 0x10;
}

// Skips the extended header by its stored size so that the frames behind it are found. Some
// writers set the flag without writing a header; a frame ID right here says so.
void TID3v2Tag::ReadExtendedHeader(TByteSource& tagStream) {
    const std::uint64_t start = tagStream.Position();
    std::uint8_t size[4] = {};
    if (tagStream.Read(size, 4) == 4 && ValidFrameID(size)) {
        ExtendedHeader = false;
        tagStream.Seek(start);
        return;
    }
    std::copy(size, size + 4, CodedExtendedHeaderSize.begin());
    std::uint64_t end = 0;
    if (MajorVersion == 4) {
        ExtendedHeaderSize = UnSyncSafe(size);
        end = start + ExtendedHeaderSize;
        std::uint8_t count = 0;
        tagStream.Read(&count, 1);
        ExtendedHeader4Flags.resize(count);
        ExtendedHeader4Flags.resize(tagStream.Read(ExtendedHeader4Flags.data(), count));
    } else if (MajorVersion == 3) {
        ExtendedHeaderSize = platform::BigEndian32(size);
        end = start + 4 + ExtendedHeaderSize;
        std::uint8_t flags[2] = {};
        tagStream.Read(flags, 2);
        ExtendedHeader3Flags = platform::BigEndian16(flags);
    } else {
        return;
    }
    tagStream.Seek(std::min(end, tagStream.Size()));
}

bool TID3v2Tag::LoadFrame(TByteSource& tagStream) {
    std::uint8_t id[4] = {};
    tagStream.Read(id, 4);
    if (!ValidFrameID(id))
        return false;
    TID3v2Frame& frame = AddFrame({static_cast<char>(id[0]), static_cast<char>(id[1]),
                                   static_cast<char>(id[2]), static_cast<char>(id[3])});
    LoadFrameData(tagStream, frame);
    return true;
}

bool TID3v2Tag::LoadFrame2(TByteSource& tagStream) {
    std::uint8_t header[6] = {};
    tagStream.Read(header, sizeof header);
    if (!ValidFrameID(header, 3))
        return false;
    const std::uint32_t size = platform::BigEndian24(header + 3);
    std::optional<TFrameID> id = Version2Counterpart(header);
    // Pictures are kept only while a cover is looked for.
    if (PictureHeadsOnly && std::memcmp(header, "PIC", 3) == 0)
        id = TFrameID{'A', 'P', 'I', 'C'};
    if (!id) {
        tagStream.Seek(std::min(tagStream.Position() + size, tagStream.Size()));
        return true;
    }
    TID3v2Frame& frame = AddFrame(*id);
    frame.Size = size;
    LoadFrameBytes(tagStream, frame, size);
    return true;
}

TID3v2Frame& TID3v2Tag::AddFrame(const TFrameID& id) {
    Frames.push_back(std::make_unique<TID3v2Frame>());
    Frames.back()->ID = id;
    return *Frames.back();
}

void TID3v2Tag::LoadFrameData(TByteSource& tagStream, TID3v2Frame& frame) {
    std::uint8_t header[6] = {};
    tagStream.Read(header, 6);
    // Unsigned on purpose: a size smaller than the extra header bytes wraps to a length that the
    // file cannot fill, which ends the scan below.
    std::uint32_t dataLength = 0;
    if (MajorVersion == 3) {
        frame.Size = platform::BigEndian32(header);
        frame.Flags = platform::BigEndian16(header + 4);
        frame.DecodeFlags3();
        dataLength = frame.Size;
        // The extra header bytes come in the order of their flags.
        if (frame.Compressed) {
            std::uint8_t length[4] = {};
            tagStream.Read(length, 4);
            frame.DataLengthIndicatorValue = platform::BigEndian32(length);
            dataLength -= 4;
        }
        if (frame.Encrypted) {
            tagStream.Read(&frame.EncryptionMethod, 1);
            dataLength -= 1;
        }
        if (frame.GroupingIdentity) {
            tagStream.Read(&frame.GroupIdentifier, 1);
            dataLength -= 1;
        }
    } else if (MajorVersion == 4) {
        frame.Size = UnSyncSafe(header);
        frame.Flags = platform::BigEndian16(header + 4);
        frame.DecodeFlags4();
        // Some writers set only the tag's flag, which in this version means every frame.
        frame.Unsynchronised = frame.Unsynchronised || Unsynchronised;
        dataLength = frame.Size;
        if (frame.GroupingIdentity) {
            tagStream.Read(&frame.GroupIdentifier, 1);
            dataLength -= 1;
        }
        if (frame.Encrypted) {
            tagStream.Read(&frame.EncryptionMethod, 1);
            dataLength -= 1;
        }
        if (frame.DataLengthIndicator) {
            std::uint8_t length[4] = {};
            tagStream.Read(length, 4);
            frame.DataLengthIndicatorValue = UnSyncSafe(length);
            dataLength -= 4;
        }
    } else {
        return;
    }
    LoadFrameBytes(tagStream, frame, dataLength);
}

void TID3v2Tag::LoadFrameBytes(TByteSource& tagStream, TID3v2Frame& frame,
                               std::uint32_t dataLength) {
    frame.DataPosition = tagStream.Position();
    frame.DataLength = dataLength;
    if (PictureHeadsOnly) {
        const bool picture = std::string_view(frame.ID.data(), 4) == "APIC";
        frame.Stream.resize(
            picture ? std::min<std::uint64_t>({dataLength, PictureHeadSize, tagStream.Remaining()})
                    : 0);
        frame.Stream.resize(tagStream.Read(frame.Stream.data(), frame.Stream.size()));
        if (frame.Unsynchronised)
            Resynchronise(frame.Stream);
        tagStream.Seek(std::min<std::uint64_t>(frame.DataPosition + dataLength, tagStream.Size()));
        return;
    }
    // An encrypted frame is passed over: no method to decrypt it is known.
    if (frame.Encrypted) {
        tagStream.Seek(std::min<std::uint64_t>(frame.DataPosition + dataLength, tagStream.Size()));
        return;
    }
    // Only what the file holds is allocated, whatever the frame claims.
    const std::uint64_t available = tagStream.Remaining();
    const bool complete = dataLength <= available;
    const std::size_t wanted =
        complete ? dataLength : static_cast<std::size_t>(available / CopyBlock * CopyBlock);
    frame.Stream.resize(wanted);
    const std::size_t got = tagStream.Read(frame.Stream.data(), wanted);
    if (got < wanted)
        frame.Stream.resize(got / CopyBlock * CopyBlock);
    if (!complete || got < wanted)
        tagStream.Seek(tagStream.Size());
    if (frame.Unsynchronised)
        Resynchronise(frame.Stream);
}

int TID3v2Tag::FrameExists(std::string_view frameID) const {
    if (frameID.size() != 4)
        return -1;
    for (std::size_t i = 0; i < Frames.size(); ++i)
        if (std::equal(frameID.begin(), frameID.end(), Frames[i]->ID.begin()))
            return static_cast<int>(i);
    return -1;
}

std::string TID3v2Tag::GetUnicodeText(std::string_view frameID) const {
    return GetUnicodeText(FrameExists(frameID));
}

std::string TID3v2Tag::GetUnicodeText(int index) const {
    std::string joined;
    for (const std::string& value : GetUnicodeTexts(index))
        joined += (joined.empty() ? "" : "; ") + value;
    return joined;
}

std::vector<std::string> TID3v2Tag::GetUnicodeTexts(std::string_view frameID) const {
    return GetUnicodeTexts(FrameExists(frameID));
}

std::vector<std::string> TID3v2Tag::GetUnicodeTexts(int index) const {
    if (index < 0 || index >= FrameCount() || Frames[index]->Stream.empty())
        return {};
    const Bytes data = Frames[index]->Stream;
    const std::uint8_t encoding = data[0];
    if (encoding > 3)
        return {};
    Bytes text = data.subspan(1);
    std::vector<std::string> values;
    std::optional<ByteOrder> order;
    // Version 4 lets a text frame hold several values, each ended by its encoding's zero.
    do {
        std::string value;
        std::size_t used = 0;
        if (encoding == 0 || encoding == 3) {
            const Bytes run = UpToZeroByte(text);
            value = Decode8Bit(run, encoding, CodePage);
            used = run.size() + 1;
        } else {
            // Encoding 1 needs its mark on the first value; text without one is not taken for
            // UTF-16 of either order. A later value without one keeps the order before it.
            Bytes body = text;
            const std::optional<ByteOrder> marked = MarkOrder(body);
            if (marked)
                body = body.subspan(2);
            order = marked          ? marked
                    : order         ? order
                    : encoding == 2 ? std::optional(ByteOrder::Big)
                                    : std::nullopt;
            if (!order)
                return values;
            const TUnitRun run = Utf16Run(body);
            value = DecodeUtf16(body.first(run.Length), *order);
            used = text.size() - body.size() + run.Length + 2;
        }
        if (!value.empty())
            values.push_back(std::move(value));
        text = text.subspan(std::min(used, text.size()));
    } while (MajorVersion == 4 && !text.empty());
    return values;
}

std::string TID3v2Tag::GetUnicodeComment(std::string_view frameID, TLanguageID& languageID,
                                         std::string& description) const {
    return GetUnicodeComment(FrameExists(frameID), languageID, description);
}

std::string TID3v2Tag::GetUnicodeComment(int index, TLanguageID& languageID,
                                         std::string& description) const {
    languageID = {};
    description.clear();
    if (index < 0 || index >= FrameCount() || Frames[index]->Stream.empty())
        return {};
    const Bytes data = Frames[index]->Stream;
    const std::uint8_t encoding = data[0];
    const Bytes language = data.subspan(1, std::min<std::size_t>(3, data.size() - 1));
    std::copy(language.begin(), language.end(), languageID.begin());
    Bytes rest = data.subspan(1 + language.size());
    switch (encoding) {
    case 0:
    case 3: {
        const Bytes described = UpToZeroByte(rest);
        description = Decode8Bit(described, encoding, CodePage);
        if (described.size() == rest.size())
            return {};
        return Decode8Bit(UpToZeroByte(rest.subspan(described.size() + 1)), encoding, CodePage);
    }
    case 1:
    case 2: {
        const ByteOrder order = TakeMark(rest, encoding == 1 ? ByteOrder::Little : ByteOrder::Big);
        const TUnitRun run = Utf16Run(rest);
        description = DecodeUtf16(rest.first(run.Length), order);
        if (!run.Terminated)
            return {};
        const Bytes content = rest.subspan(std::min(run.Length + 2, rest.size()));
        if (encoding == 1)
            return MarkedUtf16Content(content);
        Bytes unmarked = content;
        const ByteOrder contentOrder = TakeMark(unmarked, ByteOrder::Big);
        return FirstUtf16String(unmarked, contentOrder);
    }
    default:
        return {};
    }
}

std::optional<std::uint8_t> TID3v2Tag::PictureType(const TID3v2Frame& frame) const {
    const Bytes head = frame.Stream;
    if (std::string_view(frame.ID.data(), 4) != "APIC" || frame.Compressed || frame.Encrypted ||
        head.empty())
        return std::nullopt;
    if (MajorVersion == 2)
        return head.size() > 4 ? std::optional<std::uint8_t>(head[4]) : std::nullopt;
    const auto zero = std::find(head.begin() + 1, head.end(), 0);
    if (zero == head.end() || zero + 1 == head.end())
        return std::nullopt;
    return *(zero + 1);
}

std::vector<std::uint8_t> TID3v2Tag::ReadFrontCover(TByteSource& tagStream, std::size_t maxImage) {
    PictureHeadsOnly = true;
    const int result = LoadFromStream(tagStream);
    PictureHeadsOnly = false;
    if (result != ResultOk)
        return {};
    auto chosen = std::find_if(Frames.begin(), Frames.end(),
                               [this](const auto& frame) { return PictureType(*frame) == 3; });
    if (chosen == Frames.end())
        chosen = std::find_if(Frames.begin(), Frames.end(),
                              [this](const auto& frame) { return PictureType(*frame); });
    if (chosen == Frames.end())
        return {};
    const TID3v2Frame& frame = **chosen;
    // Unsynchronisation at most doubles the stored bytes.
    const std::uint64_t limit =
        std::uint64_t{maxImage} * (frame.Unsynchronised ? 2 : 1) + PictureHeaderRoom;
    // The frames of a resynchronised tag lie in its body, not in the stream.
    TMemorySource body(TagBody);
    TByteSource& source = TagBody.empty() ? tagStream : body;
    if (frame.DataLength > limit || !source.Seek(frame.DataPosition))
        return {};
    std::vector<std::uint8_t> data(frame.DataLength);
    if (source.Read(data.data(), data.size()) != data.size())
        return {};
    if (frame.Unsynchronised)
        Resynchronise(data);
    const std::optional<std::size_t> start = ImageStart(data, MajorVersion == 2);
    if (!start || data.size() - *start > maxImage)
        return {};
    data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(*start));
    return data;
}

std::string ID3v2GenreToString(const std::string& text) {
    // "((" starts a text that itself begins with "(".
    if (text.starts_with("(("))
        return text.substr(1);
    if (AllDigits(text))
        return GenreReference(text).value_or(text);
    std::string_view rest = text;
    std::string first;
    while (rest.starts_with('(') && !rest.starts_with("((")) {
        const std::size_t close = rest.find(')');
        if (close == std::string_view::npos)
            break;
        const std::optional<std::string> name = GenreReference(rest.substr(1, close - 1));
        if (!name)
            return text;
        if (first.empty())
            first = *name;
        rest.remove_prefix(close + 1);
    }
    if (first.empty())
        return text;
    // Text after the references refines them and is the genre as the tagger meant it.
    if (rest.starts_with("(("))
        rest.remove_prefix(1);
    return rest.empty() ? first : std::string(rest);
}
