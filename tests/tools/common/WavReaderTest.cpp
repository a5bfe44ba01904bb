#include "common/WavReader.h"

#include "pipeline/Wavinfo.h"
#include "tools/ToolTestSupport.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

std::string Le(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string Chunk(const std::string& id, std::uint32_t size, const std::string& body = "") {
    return id + Le(size, 4) + body;
}

// 8 kHz stereo 16-bit: 4 bytes a frame.
const std::string Format =
    Chunk("fmt ", 16, Le(1, 2) + Le(2, 2) + Le(8000, 4) + Le(32000, 4) + Le(4, 2) + Le(16, 2));

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le(chunks.size() + 4, 4) + "WAVE" + chunks;
}

// RF64 keeps its real sizes in ds64: RIFF size, data size, sample count, an empty table.
std::string Rf64(std::uint64_t dataBytes, const std::string& chunks) {
    return "RF64" + Le(0xFFFFFFFF, 4) + "WAVE" +
           Chunk("ds64", 28, Le(0, 8) + Le(dataBytes, 8) + Le(dataBytes / 4, 8) + Le(0, 4)) +
           chunks;
}

struct TCase {
    const char* Name;
    std::string Bytes;
    // Zero bytes appended after Bytes, sparse on disk: how the huge layouts stay cheap.
    std::uint64_t Zeros;
    // Bytes after those zeros.
    std::string After;
    // The frames both readers find; -1 when both refuse the file.
    std::int64_t Frames;
};

} // namespace

// The program's header reader and the tools' reader walk the same chunks and agree on every
// file: what the window counts is what the encoder reads.
TEST(RiffWave, ProgramAndToolsReadEveryLayoutAlike) {
    std::string manyJunk;
    for (int i = 0; i < 5000; ++i)
        manyJunk += Chunk("JUNK", 0);
    std::string tooMuchJunk;
    for (int i = 0; i < 70000; ++i)
        tooMuchJunk += Chunk("JUNK", 0);
    const std::uint64_t lame = 0x80000000u;
    const std::string list = Chunk("LIST", 4, "INFO");
    const auto frames = [](std::uint64_t bytes) { return static_cast<std::int64_t>(bytes / 4); };
    const TCase cases[] = {
        {"5000 chunks first", Riff(manyJunk + Format + Chunk("data", 400)), 400, "", 100},
        {"70000 chunks first", Riff(tooMuchJunk + Format + Chunk("data", 400)), 400, "", -1},
        {"RF64 sized by ds64", Rf64(400, Format + Chunk("data", 0xFFFFFFFF)), 400, "", 100},
        {"RF64, a chunk after", Rf64(400, Format + Chunk("data", 0xFFFFFFFF)), 400, list, 100},
        {"open data", Riff(Format + Chunk("data", 0)), 4002, "", 1000},
        {"lame's 2 GiB mark, more after it", Riff(Format + Chunk("data", 0x80000000u)), lame + 4000,
         "", frames(lame + 4000)},
        {"lame's mark, exactly that much", Riff(Format + Chunk("data", 0x80000000u)), lame, "",
         frames(lame)},
        {"lame's mark, then a chunk", Riff(Format + Chunk("data", 0x80000000u)), lame, list,
         frames(lame)},
        {"lame's mark, less than a frame more", Riff(Format + Chunk("data", 0x80000000u)), lame + 3,
         "", frames(lame)},
        {"a high mark past 4 GiB", Riff(Format + Chunk("data", 0xFFFFFFD0u)), 0x100000000ull + 40,
         "", frames(0x100000000ull + 40)},
        {"cut short", Riff(Format + Chunk("data", 4000)), 400, "", -1},
        {"lame's mark, cut short", Riff(Format + Chunk("data", 0x80000000u)), 4000, "", -1},
        {"any other size is believed", Riff(Format + Chunk("data", 0x80000004u)), lame + 8000, "",
         frames(lame + 4)},
        {"no format", Riff(Chunk("data", 400)), 400, "", -1},
    };
    TScopedFolder folder;
    const std::string path = (folder / "f.wav").string();
    for (const TCase& c : cases) {
        WriteFile(path, c.Bytes);
        std::filesystem::resize_file(path, c.Bytes.size() + c.Zeros);
        std::ofstream(path, std::ios::binary | std::ios::app) << c.After;
        TWavInfo info;
        info.ReadHeader(path);
        TWavReader reader;
        const bool opened = reader.Open(path);
        if (c.Frames < 0) {
            EXPECT_FALSE(opened) << c.Name;
            EXPECT_TRUE(info.Seconds() < 0 || info.Truncated()) << c.Name;
            continue;
        }
        ASSERT_TRUE(opened) << c.Name << ": " << reader.Error();
        EXPECT_EQ(reader.Frames(), static_cast<std::uint64_t>(c.Frames)) << c.Name;
        EXPECT_EQ(info.DataBytes() / 4, static_cast<std::uint64_t>(c.Frames)) << c.Name;
        EXPECT_EQ(info.SampleRate(), 8000) << c.Name;
        EXPECT_EQ(info.Channels(), 2) << c.Name;
        EXPECT_FALSE(info.Truncated()) << c.Name;
    }
}
