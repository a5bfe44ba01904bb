#include "platform/VersionBlock.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace platform {

namespace {

// The section-name table is read whole; real ones are a few hundred bytes.
const std::uint64_t MaxNameTableSize = 1024 * 1024;
const std::uint16_t ExtendedIndex = 0xffff;
const std::uint32_t NoBitsType = 8;
const unsigned char Magic[4] = {0x7f, 'E', 'L', 'F'};

class TElfFile {
public:
    explicit TElfFile(const std::string& path) : In(path, std::ios::binary) {
        if (In) {
            In.seekg(0, std::ios::end);
            Size = static_cast<std::uint64_t>(In.tellg());
        }
    }

    bool Read(std::uint64_t offset, std::uint64_t count, std::vector<unsigned char>& bytes) {
        if (!In || offset > Size || count > Size - offset)
            return false;
        bytes.resize(count);
        In.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(
            In.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)));
    }

private:
    std::ifstream In;
    std::uint64_t Size = 0;
};

struct TSection {
    std::uint32_t Name = 0;
    std::uint32_t Type = 0;
    std::uint32_t Link = 0;
    std::uint64_t Offset = 0;
    std::uint64_t Size = 0;
};

class TLayout {
public:
    bool Is64 = false;
    bool BigEndian = false;

    std::uint64_t Get(const std::vector<unsigned char>& bytes, std::size_t at,
                      std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t index = BigEndian ? at + i : at + width - 1 - i;
            value = (value << 8) | bytes[index];
        }
        return value;
    }

    // One section header; the caller has checked that the entry is big enough.
    TSection Section(const std::vector<unsigned char>& entry) const {
        TSection s;
        s.Name = static_cast<std::uint32_t>(Get(entry, 0, 4));
        s.Type = static_cast<std::uint32_t>(Get(entry, 4, 4));
        if (Is64) {
            s.Offset = Get(entry, 24, 8);
            s.Size = Get(entry, 32, 8);
            s.Link = static_cast<std::uint32_t>(Get(entry, 40, 4));
        } else {
            s.Offset = Get(entry, 16, 4);
            s.Size = Get(entry, 20, 4);
            s.Link = static_cast<std::uint32_t>(Get(entry, 24, 4));
        }
        return s;
    }

    std::size_t SectionEntrySize() const { return Is64 ? 64 : 40; }
};

} // namespace

std::optional<std::string> ReadVersionBlock(const std::string& path) {
    TElfFile file(path);
    std::vector<unsigned char> header;
    if (!file.Read(0, 52, header) || std::memcmp(header.data(), Magic, sizeof Magic) != 0)
        return std::nullopt;
    TLayout layout;
    if ((header[4] != 1 && header[4] != 2) || (header[5] != 1 && header[5] != 2))
        return std::nullopt;
    layout.Is64 = header[4] == 2;
    layout.BigEndian = header[5] == 2;
    if (layout.Is64 && !file.Read(0, 64, header))
        return std::nullopt;

    const std::uint64_t tableOffset =
        layout.Is64 ? layout.Get(header, 40, 8) : layout.Get(header, 32, 4);
    const std::size_t fieldsAt = layout.Is64 ? 58 : 46;
    const std::uint64_t entrySize = layout.Get(header, fieldsAt, 2);
    std::uint64_t count = layout.Get(header, fieldsAt + 2, 2);
    std::uint64_t namesIndex = layout.Get(header, fieldsAt + 4, 2);
    if (tableOffset == 0 || entrySize < layout.SectionEntrySize())
        return std::nullopt;

    std::vector<unsigned char> entry;
    auto sectionAt = [&](std::uint64_t index, TSection& section) {
        if (index >= count && index != 0)
            return false;
        if (!file.Read(tableOffset + index * entrySize, entrySize, entry))
            return false;
        section = layout.Section(entry);
        return true;
    };

    // Files with very many sections keep the real count and name index in section 0.
    TSection first;
    count = std::max<std::uint64_t>(count, 1);
    if (!sectionAt(0, first))
        return std::nullopt;
    if (layout.Get(header, fieldsAt + 2, 2) == 0)
        count = first.Size;
    if (namesIndex == ExtendedIndex)
        namesIndex = first.Link;
    if (count == 0 || count > (1ULL << 32))
        return std::nullopt;

    TSection names;
    if (!sectionAt(namesIndex, names) || names.Type == NoBitsType || names.Size > MaxNameTableSize)
        return std::nullopt;
    std::vector<unsigned char> nameTable;
    if (!file.Read(names.Offset, names.Size, nameTable))
        return std::nullopt;

    const std::size_t wantedLength = std::strlen(VersionSectionName);
    for (std::uint64_t i = 1; i < count; ++i) {
        TSection section;
        if (!sectionAt(i, section))
            return std::nullopt;
        if (section.Name >= nameTable.size() ||
            nameTable.size() - section.Name < wantedLength + 1 ||
            std::memcmp(&nameTable[section.Name], VersionSectionName, wantedLength + 1) != 0)
            continue;
        if (section.Type == NoBitsType || section.Size > MaxVersionBlockSize)
            return std::nullopt;
        std::vector<unsigned char> bytes;
        if (!file.Read(section.Offset, section.Size, bytes))
            return std::nullopt;
        return std::string(bytes.begin(), bytes.end());
    }
    return std::nullopt;
}

} // namespace platform
