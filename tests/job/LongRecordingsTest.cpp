#include "common/WavReader.h"
#include "job/Mp4.h"
#include "pipeline/PipelineTestSupport.h"
#include "pipeline/Wavinfo.h"
#include "tools/ToolTestSupport.h"

#include <fstream>
#include <gtest/gtest.h>

// Recordings past the 2 GiB and 4 GiB marks of a WAV header and outputs past 2^31 samples,
// made in seconds from short files or silence. Each writes gigabytes and takes minutes.

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::TScopedFolder;

namespace {

const std::string AppDir = PARVANE_APP_DIR;

class LongRecordings : public testing::Test {
protected:
    TScopedFolder Work;
    pipelinetest::TScopedTmpDir Tmp{Work / "tmp"};
    TMP4 Job;
    int DecodedSeconds = 0;
    bool DecodeFailed = false;

    LongRecordings() {
        Job.OutputExt = ".m4a";
        Job.SetEncoderOption("-cbr 64000");
        Job.OnSourceDone = [this](TMP4& job) {
            DecodedSeconds = job.TotalSeconds;
            DecodeFailed = DecodeFailed || job.Failed;
        };
    }

    static void Sox(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"/usr/bin/sox", "-n"};
        argv.insert(argv.end(), args.begin(), args.end());
        tooltest::TRunOptions options;
        options.TimeoutMs = 600000;
        const auto run = RunTool(argv, options);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
    }

    // The one value of "section=key" that ffprobe reports, empty when it reports none.
    static std::string Probe(const fs::path& file, const std::string& entry, std::string key) {
        const auto values = tooltest::Probe(file, entry);
        const auto found = values.find(key);
        return found == values.end() ? std::string() : found->second;
    }
};

std::string Output(const std::vector<std::string>& argv) {
    tooltest::TRunOptions options;
    options.TimeoutMs = 600000;
    const auto run = RunTool(argv, options);
    EXPECT_EQ(run.ExitCode, 0) << argv[0] << ": " << run.Err;
    return run.Out;
}

} // namespace

// lame writes 0x80000000 as the data size once the PCM passes 2 GiB, and all of it after that.
TEST_F(LongRecordings, AnMp3PastTwoGibibytesOfPcmIsEncodedWhole) {
    const fs::path wav = Work / "minute.wav", minute = Work / "minute.mp3";
    tooltest::WriteWav(wav, {.Rate = 48000}, 60 * 48000);
    ASSERT_EQ(RunTool({AppDir + "lame", "--quiet", "-t", "-b", "32", wav.string(), minute.string()})
                  .ExitCode,
              0);
    // 190 minutes of 48 kHz stereo: 2.19 GB of PCM.
    const std::string frames = tooltest::ReadFile(minute);
    std::ofstream out(Work / "long.mp3", std::ios::binary);
    for (int i = 0; i < 190; ++i)
        out << frames;
    out.close();
    ASSERT_TRUE(Job.AddSrcFile((Work / "long.mp3").string()));
    ASSERT_TRUE(Job.DoConvert(false, false));
    EXPECT_FALSE(DecodeFailed);
    EXPECT_GE(DecodedSeconds, 190 * 60);
    const double duration =
        std::stod("0" + Probe(Work / "long.m4a", "format=duration", "duration"));
    EXPECT_GT(duration, 190 * 60);
    // Each minute keeps its encoder delay and padding: a few hundredths of a second.
    EXPECT_LT(duration, 190 * 61);
}

// flac refuses a plain WAV past 4 GiB of PCM; the job asks it for RF64 then.
TEST_F(LongRecordings, AFlacPastFourGibibytesOfPcmVerifiesWhole) {
    // 940 s of 8 channels, 24 bits at 192 kHz: 4.33 GB of PCM.
    Sox({"-r", "192000", "-c", "8", "-b", "24", (Work / "big.flac").string(), "trim", "0", "940"});
    Job.VerifyOnly = true;
    ASSERT_TRUE(Job.AddSrcFile((Work / "big.flac").string()));
    EXPECT_TRUE(Job.DoConvert(false, false));
    EXPECT_FALSE(DecodeFailed);
    EXPECT_EQ(DecodedSeconds, 940);
}

// ffmpeg turns a WAV into RF64 once it passes 4 GiB; the job and the encoder's reader read it
// whole.
TEST_F(LongRecordings, AnRf64WavPastFourGibibytesIsReadWhole) {
    const fs::path wav = Work / "big.wav";
    Output({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i",
            "anullsrc=r=96000:cl=7.1", "-t", "1500", "-c:a", "pcm_f32le", "-rf64", "auto",
            wav.string()});
    ASSERT_EQ(tooltest::ReadFile(wav).substr(0, 4), "RF64");
    TWavReader reader;
    ASSERT_TRUE(reader.Open(wav.string())) << reader.Error();
    EXPECT_EQ(reader.Frames(), 1500u * 96000);
    Job.VerifyOnly = true;
    ASSERT_TRUE(Job.AddSrcFile(wav.string()));
    EXPECT_TRUE(Job.DoConvert(false, false));
    EXPECT_EQ(DecodedSeconds, 1500);
}

// Past 2^31 samples the MP4's lengths need more than 31 bits: the duration, edit list, chapter
// starts and tags as ffprobe, mediainfo and mutagen read them, after the tagger's remux.
TEST_F(LongRecordings, AnOutputPastTwoToTheThirtyOneSamplesKeepsLengthChaptersAndTags) {
    // Two 38-hour halves at 8 kHz: 2.19 * 10^9 samples.
    const int half = 38 * 3600;
    Output({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i",
            "sine=frequency=440:sample_rate=8000", "-t", std::to_string(half),
            (Work / "first.wav").string()});
    fs::create_hard_link(Work / "first.wav", Work / "second.wav");
    Job.NameAsTitle = true;
    Job.SetEncoderOption("-cbr 16000");
    Job.SetOutputName("book");
    ASSERT_TRUE(Job.AddSrcFile((Work / "first.wav").string()));
    ASSERT_TRUE(Job.AddSrcFile((Work / "second.wav").string()));
    ASSERT_TRUE(Job.DoConvert(true, false));
    const fs::path book = Work / "book.m4a";
    const double total = 2.0 * half;

    EXPECT_NEAR(std::stod("0" + Probe(book, "format=duration", "duration")), total, 0.01);
    EXPECT_EQ(Probe(book, "stream=duration_ts", "duration_ts"), std::to_string(2LL * half * 8000));
    const auto chapters = tooltest::Chapters(book);
    ASSERT_EQ(chapters.size(), 2u);
    EXPECT_NEAR(chapters[1].Start, half, 0.01);
    EXPECT_EQ(chapters[1].Title, "second");
    EXPECT_EQ(Probe(book, "format_tags=title", "TAG:title"), "first");

    const std::string info =
        Output({"/usr/bin/mediainfo", "--Inform=General;%Duration%", book.string()});
    EXPECT_NEAR(std::stod(info) / 1000, total, 0.01);
    const std::string mutagen = Output(
        {"/usr/bin/python3", "-c",
         "import sys, mutagen.mp4\n"
         "f = mutagen.mp4.MP4(sys.argv[1])\n"
         "print(f.info.length, ' '.join(str(c.start) for c in f.chapters), f['\\xa9nam'][0])",
         book.string()});
    double length = 0, first = -1, second = -1;
    char title[64] = {};
    ASSERT_EQ(std::sscanf(mutagen.c_str(), "%lf %lf %lf %63s", &length, &first, &second, title), 4)
        << mutagen;
    // mutagen reads the media's length, with the 1024 priming samples the edit list skips.
    EXPECT_NEAR(length, total + 1024.0 / 8000, 0.01);
    // mutagen 1.46 takes the chapter list's milliseconds in the movie time scale, which is the
    // sample rate here (so that the edit list is exact), so its starts come out that much short.
    EXPECT_NEAR(second * 8000 / 1000, half, 0.01);
    EXPECT_STREQ(title, "first");
}
