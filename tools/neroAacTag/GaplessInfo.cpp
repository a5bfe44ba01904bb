#include "GaplessInfo.h"

#include "platform/ByteOrder.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::span<const std::uint8_t>;

// An index larger than this is no index this tool wrote (the cover and the sample tables of a
// day of audio stay far below).
constexpr std::uint64_t MaxMoovBytes = std::uint64_t{512} << 20;

struct TBox {
    std::string_view Type;
    // Where the box starts and its payload starts, in the bytes searched, and where it ends.
    std::size_t Start = 0;
    std::size_t Payload = 0;
    std::size_t End = 0;
};

// The first child of this type within bytes[from, to); a size that runs past the end ends the
// search.
std::optional<TBox> Child(Bytes bytes, std::size_t from, std::size_t to, std::string_view type) {
    for (std::size_t at = from; at + 8 <= to;) {
        std::uint64_t size = platform::BigEndian32(bytes.data() + at);
        std::size_t header = 8;
        if (size == 1) {
            if (at + 16 > to)
                return std::nullopt;
            size = platform::BigEndian(bytes.data() + at + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < header || size > to - at)
            return std::nullopt;
        const std::string_view found(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
        const TBox box{found, at, at + header, at + static_cast<std::size_t>(size)};
        if (found == type)
            return box;
        at = box.End;
    }
    return std::nullopt;
}

std::optional<TBox> Path(Bytes bytes, TBox box, std::initializer_list<std::string_view> types) {
    for (std::string_view type : types) {
        // meta is a full box: version and flags come before its children.
        const std::size_t from = box.Payload + (box.Type == "meta" ? 4 : 0);
        const std::optional<TBox> child = Child(bytes, from, box.End, type);
        if (!child)
            return std::nullopt;
        box = *child;
    }
    return box;
}

// A full box's field at this offset after its version and flags, 32-bit in version 0 and
// 64-bit in version 1 when wide.
std::optional<std::uint64_t> Field(Bytes bytes, const TBox& box, std::size_t offset0,
                                   std::size_t offset1, bool wide) {
    if (box.Payload + 4 > box.End)
        return std::nullopt;
    const bool version1 = bytes[box.Payload] == 1;
    const std::size_t at = box.Payload + 4 + (version1 ? offset1 : offset0);
    const std::size_t length = version1 && wide ? 8 : 4;
    if (at + length > box.End)
        return std::nullopt;
    return platform::BigEndian(bytes.data() + at, length);
}

std::uint64_t Scale(std::uint64_t value, std::uint64_t to, std::uint64_t from) {
    return from == 0 ? value
                     : static_cast<std::uint64_t>(
                           (static_cast<unsigned __int128>(value) * to + from / 2) / from);
}

bool ReadAt(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void PutBox(std::vector<std::uint8_t>& out, std::uint32_t size, std::string_view type) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(size >> shift));
    out.insert(out.end(), type.begin(), type.end());
}

void PutText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace

bool TGaplessInfo::Read(int fd, int sampleRate) {
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t at = 0;
    std::uint64_t size = 0;
    for (;; at += size) {
        std::uint8_t head[16] = {};
        if (at + 8 > fileSize || !ReadAt(fd, head, 8, at))
            return false;
        size = platform::BigEndian32(head);
        if (size == 1 && ReadAt(fd, head + 8, 8, at + 8))
            size = platform::BigEndian(head + 8, 8);
        else if (size == 0)
            size = fileSize - at;
        if (size < 8 || size > fileSize - at)
            return false;
        if (std::memcmp(head + 4, "moov", 4) == 0)
            break;
    }
    if (size > MaxMoovBytes)
        return false;
    MoovStart = at;
    Moov.resize(static_cast<std::size_t>(size));
    if (!ReadAt(fd, Moov.data(), Moov.size(), at))
        return false;

    const Bytes moov = Moov;
    const TBox root{"moov", 0, 8, Moov.size()};
    const std::optional<TBox> mvhd = Path(moov, root, {"mvhd"});
    const std::optional<std::uint64_t> movieScale =
        mvhd ? Field(moov, *mvhd, 8, 16, false) : std::nullopt;
    for (std::optional<TBox> trak = Child(moov, 8, Moov.size(), "trak"); trak;
         trak = Child(moov, trak->End, Moov.size(), "trak")) {
        const std::optional<TBox> hdlr = Path(moov, *trak, {"mdia", "hdlr"});
        if (!hdlr || hdlr->Payload + 12 > hdlr->End ||
            std::memcmp(&Moov[hdlr->Payload + 8], "soun", 4) != 0)
            continue;
        const std::optional<TBox> mdhd = Path(moov, *trak, {"mdia", "mdhd"});
        const std::optional<TBox> stsz = Path(moov, *trak, {"mdia", "minf", "stbl", "stsz"});
        const std::optional<std::uint64_t> mediaScale =
            mdhd ? Field(moov, *mdhd, 8, 16, false) : std::nullopt;
        const std::optional<std::uint64_t> count =
            stsz ? Field(moov, *stsz, 4, 4, false) : std::nullopt;
        if (!mediaScale || !count)
            return false;
        Packets = *count;
        const std::uint64_t total = Packets * PacketSamples;
        // Without an edit list the encoder's delay is the one every AAC-LC encoder here has.
        Priming = PacketSamples;
        Samples = total > Priming ? total - Priming : 0;
        const std::optional<TBox> elst = Path(moov, *trak, {"edts", "elst"});
        const std::optional<std::uint64_t> entries =
            elst ? Field(moov, *elst, 0, 0, false) : std::nullopt;
        // The first edit that plays media; an empty edit (media time -1) only delays.
        const bool version1 = elst && Moov[elst->Payload] == 1;
        const std::size_t entry = version1 ? 20 : 12;
        for (std::uint64_t i = 0; entries && i < *entries; ++i) {
            const std::size_t base = 4 + static_cast<std::size_t>(i) * entry;
            const std::optional<std::uint64_t> duration = Field(moov, *elst, base, base, true);
            const std::optional<std::uint64_t> mediaTime =
                Field(moov, *elst, base + 4, base + 8, true);
            if (!duration || !mediaTime)
                break;
            const std::uint64_t none = version1 ? ~std::uint64_t{0} : 0xFFFFFFFFu;
            if (*mediaTime == none)
                continue;
            Priming = Scale(*mediaTime, static_cast<std::uint64_t>(sampleRate), *mediaScale);
            Samples =
                Scale(*duration, static_cast<std::uint64_t>(sampleRate), movieScale.value_or(0));
            break;
        }
        Padding = total > Priming + Samples ? total - Priming - Samples : 0;
        return true;
    }
    return false;
}

std::string TGaplessInfo::Text() const {
    char text[TextLength + 1] = {};
    std::snprintf(text, sizeof text,
                  " 00000000 %08X %08X %016llX 00000000 00000000 00000000 00000000 00000000 "
                  "00000000 00000000 00000000",
                  static_cast<unsigned>(Priming), static_cast<unsigned>(Padding),
                  static_cast<unsigned long long>(Samples));
    return text;
}

bool TGaplessInfo::WriteInto(int fd, const std::string& tool) const {
    const Bytes moov = Moov;
    const TBox root{"moov", 0, 8, Moov.size()};
    const std::optional<TBox> too = Path(moov, root, {"udta", "meta", "ilst", "\xA9too"});
    const std::size_t toolBox = 24 + tool.size();
    if (!too || too->Payload != too->Start + 8 || too->End - too->Start != toolBox + BoxLength)
        return false;
    std::vector<std::uint8_t> boxes;
    PutBox(boxes, static_cast<std::uint32_t>(toolBox), "\xA9too");
    PutBox(boxes, static_cast<std::uint32_t>(toolBox - 8), "data");
    PutText(boxes, std::string_view("\0\0\0\1\0\0\0\0", 8));
    PutText(boxes, tool);
    PutBox(boxes, BoxLength, "----");
    PutBox(boxes, 28, "mean");
    PutText(boxes, std::string_view("\0\0\0\0com.apple.iTunes", 20));
    PutBox(boxes, 20, "name");
    PutText(boxes, std::string_view("\0\0\0\0iTunSMPB", 12));
    PutBox(boxes, 16 + TextLength, "data");
    PutText(boxes, std::string_view("\0\0\0\1\0\0\0\0", 8));
    PutText(boxes, Text());
    if (boxes.size() != too->End - too->Start)
        return false;
    return WriteAt(fd, boxes.data(), boxes.size(), MoovStart + too->Start);
}
