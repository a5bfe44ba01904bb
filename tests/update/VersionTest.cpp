#include "update/version.h"

#include "tools/ToolTestSupport.h"
#include "update/Versioncomp.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

template <std::size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::vector<std::string> AllTexts(const TVersionComp& vers) {
    return {vers.GetFileVersion(),     vers.GetComments(),         vers.GetCompanyName(),
            vers.GetFileDescription(), vers.GetInternalName(),     vers.GetLegalCopyright(),
            vers.GetLegalTrademarks(), vers.GetOriginalFilename(), vers.GetPrivateBuild(),
            vers.GetProductName(),     vers.GetProductVersion(),   vers.GetSpecialBuild()};
}

// A minimal ELF file: the null section, the name table and, when given, the version section.
std::string ElfFile(bool is64, bool bigEndian, const std::string& block, bool withBlock = true) {
    std::string bytes;
    auto put = [&](std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) {
            const int shift = bigEndian ? (width - 1 - i) * 8 : i * 8;
            bytes += static_cast<char>((value >> shift) & 0xff);
        }
    };
    const std::string names = Bytes("\0.shstrtab\0.parvane.version\0");
    const int headerSize = is64 ? 64 : 52;
    const int entrySize = is64 ? 64 : 40;
    const std::uint64_t namesAt = headerSize;
    const std::uint64_t blockAt = namesAt + names.size();
    const std::uint64_t tableAt = blockAt + block.size();
    const int count = withBlock ? 3 : 2;

    bytes += "\x7f"
             "ELF";
    bytes += static_cast<char>(is64 ? 2 : 1);
    bytes += static_cast<char>(bigEndian ? 2 : 1);
    bytes += '\1';
    bytes.append(9, '\0');
    put(2, 2);  // e_type
    put(62, 2); // e_machine
    put(1, 4);  // e_version
    put(0, is64 ? 8 : 4);
    put(0, is64 ? 8 : 4);
    put(tableAt, is64 ? 8 : 4);
    put(0, 4);
    put(headerSize, 2);
    put(0, 2);
    put(0, 2);
    put(entrySize, 2);
    put(count, 2);
    put(1, 2); // e_shstrndx
    bytes += names;
    bytes += block;
    auto section = [&](std::uint32_t name, std::uint32_t type, std::uint64_t at,
                       std::uint64_t size) {
        const std::size_t start = bytes.size();
        put(name, 4);
        put(type, 4);
        if (is64) {
            put(0, 8);
            put(0, 8);
            put(at, 8);
            put(size, 8);
        } else {
            put(0, 4);
            put(0, 4);
            put(at, 4);
            put(size, 4);
        }
        bytes.append(start + entrySize - bytes.size(), '\0');
    };
    section(0, 0, 0, 0);
    section(1, 3, namesAt, names.size());
    if (withBlock)
        section(11, 1, blockAt, block.size());
    return bytes;
}

const std::string Block = Bytes("FileVersion\0"
                                "9.8.7.6\0"
                                "ProductVersion\0"
                                "1.2.3.4\0");

} // namespace

TEST(Version, TheRunningProgramCarriesTheProjectVersions) {
    TVersionComp vers;
    EXPECT_EQ(vers.GetFileVersion(), "1.11.5.1");
    EXPECT_EQ(vers.GetProductVersion(), "1.0.0.1");
    EXPECT_EQ(vers.GetProductName(), "Parvane");
    EXPECT_EQ(vers.GetFile(), "");
    for (const std::string& text : AllTexts(vers)) {
        EXPECT_NE(text, TVersion::NoKey);
        EXPECT_NE(text, TVersion::NoBlock);
        EXPECT_FALSE(text.empty());
    }
}

TEST(Version, AMissingKeyGivesItsMarkerAndLeavesTheOthers) {
    TVersionComp vers;
    vers.SetFile(tooltest::Tool("version-fixture"));
    EXPECT_EQ(vers.GetPrivateBuild(), "!.!");
    EXPECT_EQ(vers.GetFileVersion(), "2.3.4.5");
    EXPECT_EQ(vers.GetProductVersion(), "6.7.8.9");
    EXPECT_EQ(vers.GetSpecialBuild(), "yes");
    EXPECT_EQ(vers.GetComments(), "fixture");
    EXPECT_EQ(vers.GetFile(), tooltest::Tool("version-fixture"));
}

TEST(Version, NoFileOrNoBlockGivesTheMarkersForEveryText) {
    TScopedFolder folder;
    TVersionComp vers;
    vers.SetFile((folder / "missing").string());
    for (const std::string& text : AllTexts(vers))
        EXPECT_EQ(text, "?.?");

    // An ELF program without a block, a text file and an empty file.
    WriteFile(folder / "text", "FileVersion 1.11.5.1\n");
    WriteFile(folder / "empty", "");
    for (const std::string& path :
         {tooltest::Tool("sleep"), (folder / "text").string(), (folder / "empty").string()}) {
        vers.SetFile(path);
        for (const std::string& text : AllTexts(vers))
            EXPECT_EQ(text, "0.0") << path;
    }
}

TEST(Version, ReadsTheBlockInEveryElfLayout) {
    TScopedFolder folder;
    for (bool is64 : {false, true}) {
        for (bool bigEndian : {false, true}) {
            const std::string path = (folder / "elf").string();
            std::filesystem::remove(path);
            WriteFile(path, ElfFile(is64, bigEndian, Block));
            EXPECT_EQ(TVersion::QueryString(path, "FileVersion"), "9.8.7.6");
            EXPECT_EQ(TVersion::QueryString(path, "ProductVersion"), "1.2.3.4");
            EXPECT_EQ(TVersion::QueryString(path, "Comments"), "!.!");
            std::filesystem::remove(path);
            WriteFile(path, ElfFile(is64, bigEndian, Block, false));
            EXPECT_EQ(TVersion::QueryString(path, "FileVersion"), "0.0");
        }
    }
}

// A damaged file never yields texts that are not in it, whatever part is missing.
TEST(Version, CutOrDamagedFilesGiveMarkersOnly) {
    TScopedFolder folder;
    const std::string whole = ElfFile(true, false, Block);
    const std::string path = (folder / "cut").string();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        std::filesystem::remove(path);
        WriteFile(path, whole.substr(0, size));
        const std::string text = TVersion::QueryString(path, "ProductVersion");
        EXPECT_TRUE(text == "0.0" || text == "!.!" || text == "1.2.3.4") << size << " " << text;
    }
    // A value cut short by the end of the section is no value.
    const std::string open = Bytes("FileVersion\0"
                                   "9.8");
    std::filesystem::remove(path);
    WriteFile(path, ElfFile(false, true, open));
    EXPECT_EQ(TVersion::QueryString(path, "FileVersion"), "!.!");
    // Header fields that point past the end of the file.
    for (std::size_t at : {32u, 40u, 58u, 60u, 62u}) {
        std::string bad = whole;
        bad[at] = '\xff';
        bad[at + 1] = '\xff';
        std::filesystem::remove(path);
        WriteFile(path, bad);
        const std::string text = TVersion::QueryString(path, "FileVersion");
        EXPECT_TRUE(text == "0.0" || text == "9.8.7.6") << at << " " << text;
    }
}
