#include "tags/StreamHeader.h"

#include "tags/FileSource.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

using namespace tooltest;

namespace {

struct TExpected {
    std::uint32_t Rate;
    unsigned Channels;
    std::uint64_t Frames;
};

// FFmpeg's own reading of the file: sample rate, channels and its length in samples.
TExpected FfprobeSize(const std::string& file) {
    const auto values = Probe(file, "stream=sample_rate,channels,duration_ts");
    return {static_cast<std::uint32_t>(std::stoul(values.at("sample_rate"))),
            static_cast<unsigned>(std::stoul(values.at("channels"))),
            std::stoull(values.at("duration_ts"))};
}

std::optional<TPcmSize> Read(std::optional<TPcmSize> (*reader)(TByteSource&),
                             const std::string& path) {
    TFileSource file;
    return file.Open(path) ? reader(file) : std::nullopt;
}

} // namespace

// What the job counts before decoding: the header's length, against FFmpeg's reading of the
// same file (APE, FLAC) and against what lame decodes (MP3, which carries no exact count).
TEST(StreamHeader, PcmSizeOfEachKindAgreesWithItsDecoders) {
    for (const char* name :
         {"mac-390-hdr.ape", "mac-396.ape", "mac-399.ape", "mac-399-id3v2.ape"}) {
        const std::string ape = TestData(std::string("ape/") + name);
        const auto size = Read(ReadApePcmSize, ape);
        ASSERT_TRUE(size) << name;
        const TExpected expected = FfprobeSize(ape);
        EXPECT_EQ(size->Frames, expected.Frames) << name;
        EXPECT_EQ(size->Channels, expected.Channels) << name;
        EXPECT_EQ(size->SampleRate, expected.Rate) << name;
        EXPECT_EQ(size->BytesPerSample, 2u) << name;
    }

    TScopedFolder dir;
    const std::string wav = (dir / "in.wav").string();
    WriteWav(wav, {.Channels = 1, .Rate = 48000, .Bits = 24}, 3 * 48000 + 17);
    const std::string flac = (dir / "a.flac").string();
    ASSERT_EQ(RunTool({Tool("flac"), "-s", "-o", flac, wav}).ExitCode, 0);
    const auto flacSize = Read(ReadFlacPcmSize, flac);
    ASSERT_TRUE(flacSize);
    EXPECT_EQ(flacSize->Frames, 3u * 48000 + 17);
    EXPECT_EQ(flacSize->Bytes(), (3u * 48000 + 17) * 3);

    // With a Xing frame, without one (-t), and behind an ID3v2 tag.
    const std::vector<std::vector<std::string>> mp3s = {
        {}, {"-t"}, {"--id3v2-only", "--tt", std::string(3000, 't')}};
    for (std::size_t i = 0; i < mp3s.size(); ++i) {
        const std::string mp3 =
            (dir / tooltest::Numbered("m", static_cast<long long>(i), ".mp3")).string();
        std::vector<std::string> argv = {Tool("lame"), "--quiet", "-b", "128"};
        argv.insert(argv.end(), mp3s[i].begin(), mp3s[i].end());
        argv.insert(argv.end(), {wav, mp3});
        ASSERT_EQ(RunTool(argv).ExitCode, 0);
        const std::string decoded = (dir / "d.wav").string();
        ASSERT_EQ(RunTool({Tool("lame"), "--quiet", "--decode", mp3, decoded}).ExitCode, 0);
        const std::uint64_t frames = (ReadFile(decoded).size() - 44) / 2;
        const auto size = Read(ReadMp3PcmSize, mp3);
        ASSERT_TRUE(size) << i;
        EXPECT_EQ(size->SampleRate, 48000u);
        EXPECT_EQ(size->Channels, 1u);
        // Never short of what lame writes; over by its delay and padding, or the margin.
        EXPECT_GE(size->Frames, frames) << i;
        EXPECT_LE(size->Frames, i == 1 ? frames * 115 / 100 : frames + 3 * 1152) << i;
    }
}
