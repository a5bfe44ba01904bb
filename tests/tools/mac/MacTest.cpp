#include "ToolTestSupport.h"
#include "pipeline/Wavinfo.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace tooltest;

namespace {

const std::string Mac = Tool("mac");

std::uint32_t Get32(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
           static_cast<unsigned char>(s[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

std::uint32_t Get16(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}

// Every "Progress: " text the decoder printed, in order, whether it ended in \r or \n.
std::vector<std::string> ProgressTexts(const std::string& output) {
    std::vector<std::string> texts;
    std::string current;
    for (char c : output + "\n") {
        if (c == '\r' || c == '\n') {
            while (!current.empty() && current.back() == ' ')
                current.pop_back();
            if (current.rfind("Progress: ", 0) == 0)
                texts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return texts;
}

} // namespace

TEST(Mac, DecodesToCanonicalWavEqualToFfmpegsOwnDecode) {
    TScopedFolder dir;
    for (const char* name : {"mac-399.ape", "mac-399-tagged.ape", "mac-399-id3v2.ape"}) {
        SCOPED_TRACE(name);
        const auto wav = dir / (std::string(name) + ".wav");
        // The program hands over an empty temporary file as the output.
        WriteFile(wav, "");
        auto r = RunTool({Mac, TestData(std::string("ape/") + name), wav.string(), "-d"});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const std::string bytes = ReadFile(wav);
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(Get32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(Get32(bytes, 16), 16u);
        EXPECT_EQ(Get16(bytes, 20), 1u);
        EXPECT_EQ(Get16(bytes, 22), 2u);
        EXPECT_EQ(Get32(bytes, 24), 44100u);
        EXPECT_EQ(Get32(bytes, 28), 44100u * 4);
        EXPECT_EQ(Get16(bytes, 32), 4u);
        EXPECT_EQ(Get16(bytes, 34), 16u);
        EXPECT_EQ(bytes.substr(36, 4), "data");
        EXPECT_EQ(Get32(bytes, 40), bytes.size() - 44);
        EXPECT_EQ(Get32(bytes, 40), 156556u * 4);
        auto reference = RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i",
                                  TestData(std::string("ape/") + name), "-f", "s16le", "-"});
        EXPECT_TRUE(bytes.substr(44) == reference.Out) << "samples differ from ffmpeg's decode";
    }
    EXPECT_EQ(dir.Names().size(), 3u);
}

// From 4 GiB of audio the header is RF64; the threshold is lowered here to reach it at once.
TEST(Mac, WritesRf64FromItsThresholdAsFfmpegAndTheProgramReadIt) {
    TScopedFolder dir;
    const auto wav = dir / "out.wav";
    const std::string ape = TestData("ape/mac-399.ape");
    setenv("PARVANE_MAC_RF64_FROM", "1", 1);
    const auto r = RunTool({Mac, ape, wav.string(), "-d"});
    unsetenv("PARVANE_MAC_RF64_FROM");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const std::string bytes = ReadFile(wav);
    const std::uint64_t data = 156556u * 4;
    ASSERT_EQ(bytes.size(), 80 + data);
    EXPECT_EQ(bytes.substr(0, 4), "RF64");
    EXPECT_EQ(Get32(bytes, 4), 0xFFFFFFFFu);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEds64");
    EXPECT_EQ(Get32(bytes, 16), 28u);
    EXPECT_EQ(Get32(bytes, 20) | std::uint64_t{Get32(bytes, 24)} << 32, bytes.size() - 8);
    EXPECT_EQ(Get32(bytes, 28) | std::uint64_t{Get32(bytes, 32)} << 32, data);
    EXPECT_EQ(Get32(bytes, 36) | std::uint64_t{Get32(bytes, 40)} << 32, 156556u);
    EXPECT_EQ(bytes.substr(48, 4), "fmt ");
    EXPECT_EQ(bytes.substr(72, 4), "data");
    EXPECT_EQ(Get32(bytes, 76), 0xFFFFFFFFu);
    const auto decoded = RunTool(
        {"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", wav.string(), "-f", "s16le", "-"});
    const auto reference =
        RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", ape, "-f", "s16le", "-"});
    EXPECT_TRUE(decoded.Out == reference.Out) << "ffmpeg reads other samples: " << decoded.Err;
    TWavInfo info;
    info.ReadHeader(wav.string());
    EXPECT_EQ(info.DataBytes(), data);
    EXPECT_EQ(info.Seconds(), 3);
}

TEST(Mac, DamagedOrTruncatedFilesFailFastAndLeaveAnEmptyOutput) {
    TScopedFolder dir;
    const std::string whole = ReadFile(TestData("ape/mac-399.ape"));
    WriteFile(dir / "truncated.ape", whole.substr(0, 40000));
    const std::vector<std::string> sources = {
        TestData("ape/zerodiv.ape"), TestData("ape/longloop.ape"), TestData("ape/mac-390-hdr.ape"),
        (dir / "truncated.ape").string()};
    int k = 0;
    for (const auto& source : sources) {
        SCOPED_TRACE(source);
        const auto handedOver = dir / Numbered("given", k, ".wav");
        const auto missing = dir / Numbered("missing", k++, ".wav");
        WriteFile(handedOver, "");
        for (const auto& wav : {handedOver, missing}) {
            TRunOptions options;
            options.TimeoutMs = 10000;
            auto r = RunTool({Mac, source, wav.string(), "-d"}, options);
            EXPECT_FALSE(r.TimedOut);
            EXPECT_EQ(r.Signal, 0);
            EXPECT_EQ(r.ExitCode, 1);
            EXPECT_NE(r.Err.find("mac: error: "), std::string::npos) << r.Err;
            ASSERT_TRUE(fs::exists(wav));
            EXPECT_EQ(fs::file_size(wav), 0u);
        }
    }
    // Nothing but the inputs and the empty outputs: no temporary file stays behind.
    EXPECT_EQ(dir.Names().size(), 1u + 2 * sources.size());
}

// Cut before the end of its first frame, the file decodes without a single library error.
TEST(Mac, TruncationIsReportedWithTheSampleCounts) {
    TScopedFolder dir;
    WriteFile(dir / "cut.ape", ReadFile(TestData("ape/mac-399.ape")).substr(0, 20000));
    auto r = RunTool({Mac, (dir / "cut.ape").string(), (dir / "out.wav").string(), "-d"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("0 of 156556 samples"), std::string::npos) << r.Err;
    EXPECT_EQ(fs::file_size(dir / "out.wav"), 0u);
}

TEST(Mac, NeverOverwritesAFileWithContent) {
    TScopedFolder dir;
    WriteFile(dir / "keep.wav", "precious");
    auto r = RunTool({Mac, TestData("ape/mac-399.ape"), (dir / "keep.wav").string(), "-d"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("not overwritten"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(dir / "keep.wav"), "precious");
    EXPECT_EQ(dir.Names().size(), 1u);
}

TEST(Mac, RefusesOtherModesAndExplainsItsUsage) {
    TScopedFolder dir;
    const auto wav = (dir / "x.wav").string();
    for (const char* mode : {"-c2000", "-v", "-n"}) {
        auto r = RunTool({Mac, TestData("ape/mac-399.ape"), wav, mode});
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_NE(r.Err.find("only -d"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(RunTool({Mac}).ExitCode, 2);
    auto help = RunTool({Mac, "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("Usage: mac SOURCE.ape OUTPUT.wav -d"), std::string::npos);
    EXPECT_FALSE(fs::exists(wav));
}

// The APE source reads each progress text by dropping "Progress: " and cutting at the first
// dot; what it reads must climb through every whole percent to 100.
TEST(Mac, ProgressReadsAsRisingWholePercentsEndingAtHundred) {
    TScopedFolder dir;
    auto r = RunTool({Mac, TestData("ape/mac-399.ape"), (dir / "a.wav").string(), "-d"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<int> values;
    for (const auto& text : ProgressTexts(r.Err)) {
        EXPECT_LT(text.size(), 100u);
        int v = -1;
        ASSERT_TRUE(ApeProgressValue(text, v)) << text;
        values.push_back(v);
    }
    ASSERT_FALSE(values.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.back(), 100);
    for (int p = 0; p <= 100; ++p)
        EXPECT_NE(std::find(values.begin(), values.end(), p), values.end()) << p;
    EXPECT_NE(r.Err.find("seconds remaining, "), std::string::npos);

    // On the real terminal the rewritten line is one row reading 100 at the end.
    auto screens = RunOnScreen({Mac, TestData("ape/mac-399.ape"), (dir / "b.wav").string(), "-d"});
    ASSERT_FALSE(screens.empty());
    int progressRows = 0;
    int last = -1;
    for (const auto& row : screens.back())
        if (row.find("Progress: ") != std::string::npos) {
            ++progressRows;
            ASSERT_TRUE(ApeProgressValue(row, last)) << row;
        }
    EXPECT_EQ(progressRows, 1);
    EXPECT_EQ(last, 100);
    EXPECT_EQ(fs::file_size(dir / "b.wav"), fs::file_size(dir / "a.wav"));
}
