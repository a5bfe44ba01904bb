#include "ToolTestSupport.h"
#include "pipeline/Wavinfo.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace tooltest;

namespace {

const std::string AvDec = Tool("avdec");

// The audio of a file as ffmpeg decodes it into raw samples of this format (s16le, s24le,
// f32le): the oracle both for a source's own samples and for what the tool wrote.
std::string Raw(const fs::path& file, const std::string& format) {
    return RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-map",
                    "0:a:0", "-f", format, "-"})
        .Out;
}

struct TFormatCase {
    const char* Name;
    const char* Extension;
    // ffmpeg's output options for the encoded source.
    std::vector<std::string> Encode;
    int Channels;
    int Rate;
    int Bits;
    bool Lossless;
    // What the WAV must hold: its format tag and bits.
    unsigned Tag;
    unsigned OutBits;
};

const std::vector<TFormatCase> Cases = {
    {"wavpack16", ".wv", {"wavpack"}, 2, 44100, 16, true, 1, 16},
    {"wavpack24_96k_51", ".wv", {"wavpack"}, 6, 96000, 24, true, 1, 24},
    // Hybrid: its lossy part alone, without the correction file.
    {"wavpack_hybrid", ".wv", {"wavpack", "-b256"}, 2, 44100, 16, false, 1, 16},
    {"alac16", ".m4a", {"-c:a", "alac"}, 2, 44100, 16, true, 1, 16},
    {"alac24_mono", ".m4a", {"-c:a", "alac"}, 1, 48000, 24, true, 1, 24},
    {"aiff16", ".aiff", {"-c:a", "pcm_s16be"}, 2, 44100, 16, true, 1, 16},
    {"aiff24_96k", ".aif", {"-c:a", "pcm_s24be"}, 2, 96000, 24, true, 1, 24},
    {"aifc", ".aifc", {"-f", "aiff", "-c:a", "pcm_s16be"}, 1, 22050, 16, true, 1, 16},
    {"tta24", ".tta", {"-c:a", "tta"}, 2, 48000, 24, true, 1, 24},
    {"vorbis", ".ogg", {"-c:a", "libvorbis"}, 2, 44100, 16, false, 3, 32},
    {"vorbis_oga_mono", ".oga", {"-f", "ogg", "-c:a", "libvorbis"}, 1, 48000, 16, false, 3, 32},
    {"opus", ".opus", {"-c:a", "libopus"}, 2, 48000, 16, false, 3, 32},
    {"opus_51", ".opus", {"-c:a", "libopus"}, 6, 48000, 16, false, 3, 32},
    {"wma", ".wma", {"-c:a", "wmav2"}, 2, 44100, 16, false, 3, 32},
    {"aac_in_m4a", ".m4a", {"-c:a", "aac"}, 2, 44100, 16, false, 3, 32},
    {"alaw_wav", ".wav", {"-c:a", "pcm_alaw"}, 1, 8000, 16, false, 1, 16},
    {"mulaw_wav", ".wav", {"-c:a", "pcm_mulaw"}, 2, 8000, 16, false, 1, 16},
    {"adpcm_ms_wav", ".wav", {"-c:a", "adpcm_ms"}, 2, 44100, 16, false, 1, 16},
    {"adpcm_ima_wav", ".wav", {"-c:a", "adpcm_ima_wav"}, 1, 44100, 16, false, 1, 16},
};

fs::path Encode(const TScopedFolder& dir, const TFormatCase& c, std::uint64_t frames) {
    const fs::path wav = dir / (std::string(c.Name) + ".src.wav");
    WriteWav(wav, {c.Channels, c.Rate, c.Bits}, frames, TSignal::Noise);
    const fs::path out = dir / (std::string(c.Name) + c.Extension);
    // WavPack files come from WavPack's own encoder, which stores 24-bit audio as such; its
    // options follow the word "wavpack".
    std::vector<std::string> argv = {"/usr/bin/wavpack", "-q", "-y"};
    if (c.Encode[0] == "wavpack") {
        argv.insert(argv.end(), c.Encode.begin() + 1, c.Encode.end());
        argv.insert(argv.end(), {wav.string(), "-o", out.string()});
    } else {
        argv = {"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-y", "-i", wav.string()};
        argv.insert(argv.end(), c.Encode.begin(), c.Encode.end());
        argv.push_back(out.string());
    }
    EXPECT_EQ(RunTool(argv).ExitCode, 0) << c.Name;
    return out;
}

} // namespace

// Each format decodes to the decoder's own sample format, every sample: a lossless one to the
// source's samples, a lossy one to what ffmpeg's own decode of it gives, trimming included.
TEST(AvDec, DecodesEveryFormatToTheSamplesItHolds) {
    TScopedFolder dir;
    for (const TFormatCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        const std::uint64_t frames = static_cast<std::uint64_t>(c.Rate) * 3 / 2 + 37;
        const fs::path source = Encode(dir, c, frames);
        const fs::path wav = dir / (std::string(c.Name) + ".out.wav");
        WriteFile(wav, "");
        const auto r = RunTool({AvDec, source.string(), wav.string(), "-d"});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_NE(r.Err.find("Progress: 100.0%"), std::string::npos);
        TWavInfo info;
        info.ReadHeader(wav.string());
        ASSERT_TRUE(info.Valid);
        EXPECT_FALSE(info.Truncated());
        EXPECT_EQ(info.Format().Tag, c.Tag);
        EXPECT_EQ(info.Format().BitsPerSample, c.OutBits);
        EXPECT_EQ(info.Channels(), c.Channels);
        EXPECT_EQ(info.SampleRate(), c.Rate);
        const std::string sample = c.Tag == 3 ? "f32le" : c.OutBits == 24 ? "s24le" : "s16le";
        const std::string expected =
            Raw(c.Lossless ? dir / (std::string(c.Name) + ".src.wav") : source, sample);
        const std::string decoded = Raw(wav, sample);
        const std::size_t frameBytes = static_cast<std::size_t>(c.Channels) * c.OutBits / 8;
        EXPECT_EQ(info.DataBytes(), expected.size());
        if (c.Lossless) {
            EXPECT_EQ(expected.size(), frames * frameBytes);
        }
        EXPECT_TRUE(decoded == expected) << "samples differ from the reference";
    }
}

// A cut lossless file, a file without audio and a name that promises audio fail in one line and
// leave the output empty; they never pass for a shorter recording.
TEST(AvDec, DamagedOrFalseInputFailsWithOneLineAndAnEmptyOutput) {
    TScopedFolder dir;
    std::vector<std::pair<std::string, fs::path>> bad;
    for (const TFormatCase& c : Cases) {
        if (!c.Lossless && c.Extension != std::string(".wav"))
            continue;
        const fs::path whole = Encode(dir, c, 44100 * 2);
        const std::string bytes = ReadFile(whole);
        // Cut at a whole sample frame as well as inside one.
        for (std::size_t keep : {bytes.size() * 6 / 10 / 8 * 8, bytes.size() / 2 + 1}) {
            const fs::path cut = dir / (Numbered(std::string(c.Name) + "-cut", keep) + c.Extension);
            WriteFile(cut, bytes.substr(0, keep));
            bad.emplace_back(c.Name, cut);
        }
    }
    const fs::path text = dir / "notes.ogg";
    WriteFile(text, std::string(400, 'x') + "\nthis is no Ogg file\n");
    bad.emplace_back("text", text);
    const fs::path image = dir / "picture.wma";
    fs::copy_file(MakeImage(dir, "picture.png", "16x16"), image);
    bad.emplace_back("picture without audio", image);
    // A WAV whose format tag names no codec FFmpeg knows.
    std::string unknown = ReadFile(dir / "alaw_wav.wav");
    unknown[20] = '\x34';
    unknown[21] = '\x12';
    const fs::path codec = dir / "unknown-codec.wav";
    WriteFile(codec, unknown);
    bad.emplace_back("unknown codec", codec);
    for (const auto& [name, file] : bad) {
        SCOPED_TRACE(file.filename().string());
        const fs::path wav = dir / "out.wav";
        const auto r = RunTool({AvDec, file.string(), wav.string(), "-d"});
        EXPECT_EQ(r.ExitCode, 1);
        const std::size_t reason = r.Err.find("avdec: error: ");
        ASSERT_NE(reason, std::string::npos) << r.Err;
        EXPECT_EQ(r.Err.find('\n', reason), r.Err.size() - 1) << "the reason ends the output";
        EXPECT_TRUE(fs::exists(wav));
        EXPECT_EQ(fs::file_size(wav), 0u);
        fs::remove(wav);
    }
    EXPECT_NE(RunTool({AvDec, text.string(), (dir / "x.wav").string(), "-d"}).Err.find("recognise"),
              std::string::npos);
    EXPECT_NE(RunTool({AvDec, image.string(), (dir / "y.wav").string(), "-d"}).Err.find("no audio"),
              std::string::npos);
    EXPECT_NE(RunTool({AvDec, codec.string(), (dir / "z.wav").string(), "-d"}).Err.find("codec"),
              std::string::npos);
}

// An output with content is never replaced; other modes are refused; past the RF64 threshold
// (lowered here) the header is RF64 and reads back whole.
TEST(AvDec, KeepsExistingOutputsAndWritesRf64) {
    TScopedFolder dir;
    const fs::path source = Encode(dir, Cases[0], 44100);
    const fs::path kept = dir / "kept.wav";
    WriteFile(kept, "mine");
    EXPECT_EQ(RunTool({AvDec, source.string(), kept.string(), "-d"}).ExitCode, 1);
    EXPECT_EQ(ReadFile(kept), "mine");
    EXPECT_EQ(RunTool({AvDec, source.string(), (dir / "c.wav").string(), "-c"}).ExitCode, 2);
    EXPECT_FALSE(fs::exists(dir / "c.wav"));

    setenv("PARVANE_AVDEC_RF64_FROM", "1", 1);
    const fs::path wav = dir / "rf64.wav";
    const auto r = RunTool({AvDec, source.string(), wav.string(), "-d"});
    unsetenv("PARVANE_AVDEC_RF64_FROM");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(wav).substr(0, 4), "RF64");
    TWavInfo info;
    info.ReadHeader(wav.string());
    EXPECT_EQ(info.DataBytes(), 44100u * 4);
    EXPECT_TRUE(Raw(wav, "s16le") == Raw(dir / "wavpack16.src.wav", "s16le"));
}
