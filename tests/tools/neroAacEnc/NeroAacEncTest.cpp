#include "ToolTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

using namespace tooltest;

namespace {

const std::string Encoder = Tool("neroAacEnc");

double Db(double ratio) {
    return 20 * std::log10(ratio);
}

double ProbeNumber(const fs::path& file, const std::string& entry, const std::string& key) {
    auto values = Probe(file, entry);
    auto it = values.find(key);
    return it == values.end() ? -1 : std::stod(it->second);
}

struct TInputCase {
    std::string Name;
    TWavSpec Spec;
};

} // namespace

TEST(NeroAacEnc, EncodesEveryWavLayoutFaithfully) {
    auto spec = [](auto change) {
        TWavSpec s;
        change(s);
        return s;
    };
    const std::vector<TInputCase> cases = {
        {"16-bit stereo", TWavSpec{}},
        {"8-bit", spec([](TWavSpec& s) { s.Bits = 8; })},
        {"24-bit", spec([](TWavSpec& s) { s.Bits = 24; })},
        {"32-bit", spec([](TWavSpec& s) { s.Bits = 32; })},
        {"mono", spec([](TWavSpec& s) { s.Channels = 1; })},
        {"48 kHz", spec([](TWavSpec& s) { s.Rate = 48000; })},
        {"32-bit float", spec([](TWavSpec& s) { s.Bits = 32, s.Float = true; })},
        {"64-bit float", spec([](TWavSpec& s) { s.Bits = 64, s.Float = true; })},
        {"extensible 24-bit", spec([](TWavSpec& s) { s.Bits = 24, s.Extensible = true; })},
        {"extensible float", spec([](TWavSpec& s) { s.Bits = 32, s.Float = s.Extensible = true; })},
        {"LIST before data", spec([](TWavSpec& s) { s.ListBeforeData = true; })},
        {"data size 0xFFFFFFFF", spec([](TWavSpec& s) { s.OpenDataSize = true; })},
        {"data size 0", spec([](TWavSpec& s) { s.OpenDataSize = true, s.OpenDataValue = 0; })},
    };
    TScopedFolder dir;
    int k = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto wav = dir / Numbered("in", k, ".wav");
        const auto mp4 = dir / Numbered("out", k++, ".m4a");
        const std::uint64_t frames = c.Spec.Rate + 4321;
        const auto written = WriteWav(wav, c.Spec, frames, TSignal::Sine, 1000);
        auto r = RunTool({Encoder, "-br", "128000", "-if", wav.string(), "-of", mp4.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;

        auto stream = Probe(mp4, "stream=codec_name,profile,channels,sample_rate,duration");
        EXPECT_EQ(stream["codec_name"], "aac");
        EXPECT_EQ(stream["profile"], "LC");
        EXPECT_EQ(std::stoi(stream["channels"]), c.Spec.Channels);
        EXPECT_EQ(std::stoi(stream["sample_rate"]), c.Spec.Rate);
        const double seconds = static_cast<double>(frames) / c.Spec.Rate;
        EXPECT_NEAR(std::stod(stream["duration"]), seconds, 1024.0 / c.Spec.Rate);

        const auto decoded = DecodeFloat(mp4);
        const auto channels = static_cast<std::size_t>(c.Spec.Channels);
        ASSERT_GT(decoded.size(), channels * frames / 2);
        std::vector<double> wide(decoded.begin(), decoded.end());
        const std::size_t edge = 4096 * channels;
        const double in = Rms(written, edge, written.size() - edge);
        const double out = Rms(wide, edge, wide.size() - edge);
        EXPECT_NEAR(Db(out / in), 0, 0.5);
        for (int ch = 0; ch < c.Spec.Channels; ++ch)
            EXPECT_NEAR(ToneFrequency(decoded, c.Spec.Channels, ch, c.Spec.Rate), 1000, 5);
    }
}

TEST(NeroAacEnc, JoinsInputsGaplesslyWithAChapterAtEachStart) {
    TScopedFolder dir;
    TWavSpec spec;
    const std::vector<std::uint64_t> frames = {44100 + 123, 2 * 44100 + 7, 30011};
    std::vector<std::string> args = {Encoder, "-q", "0.5"};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto wav = dir / Numbered("part", i, ".wav");
        WriteWav(wav, spec, frames[i], TSignal::Sine, 440.0 * (i + 1));
        args.insert(args.end(), {"-if", wav.string()});
    }
    const auto mp4 = dir / "joined.mp4";
    args.insert(args.end(), {"-of", mp4.string()});
    auto r = RunTool(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;

    const double total = static_cast<double>(frames[0] + frames[1] + frames[2]) / 44100;
    EXPECT_NEAR(ProbeNumber(mp4, "stream=duration", "duration"), total, 1024.0 / 44100);
    const auto chapters = Chapters(mp4);
    ASSERT_EQ(chapters.size(), 3u);
    std::uint64_t start = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(chapters[i].Title, Numbered("Chapter ", i + 1));
        EXPECT_NEAR(chapters[i].Start, static_cast<double>(start) / 44100, 0.0005 + 1e-9);
        start += frames[i];
        EXPECT_NEAR(chapters[i].End, static_cast<double>(start) / 44100, 0.0005 + 1e-9);
    }

    const auto single = dir / "single.mp4";
    ASSERT_EQ(
        RunTool({Encoder, "-if", (dir / "part0.wav").string(), "-of", single.string()}).ExitCode,
        0);
    EXPECT_TRUE(Chapters(single).empty());
    EXPECT_EQ(Probe(single, "stream=codec_type").count("codec_type"), 1u);
}

// The Nero chapter list counts its entries in one byte; beyond 255 only the chapter track may
// carry them, and every start must still sit on its own input's first sample.
TEST(NeroAacEnc, MoreThan255InputsGetOnlyTheChapterTrackWithoutDrift) {
    TScopedFolder dir;
    TWavSpec spec;
    spec.Channels = 1;
    std::vector<std::string> args = {Encoder, "-cbr", "64000"};
    std::vector<std::uint64_t> starts;
    std::uint64_t start = 0;
    for (int i = 0; i < 260; ++i) {
        const auto wav = dir / Numbered("p", i, ".wav");
        const std::uint64_t frames = 1337 + static_cast<std::uint64_t>(i % 7) * 61;
        WriteWav(wav, spec, frames);
        args.insert(args.end(), {"-if", wav.string()});
        starts.push_back(start);
        start += frames;
    }
    const auto mp4 = dir / "many.m4a";
    args.insert(args.end(), {"-of", mp4.string()});
    auto r = RunTool(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(mp4).find("chpl"), std::string::npos);
    const auto chapters = Chapters(mp4);
    ASSERT_EQ(chapters.size(), 260u);
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        EXPECT_EQ(chapters[i].Title, Numbered("Chapter ", i + 1));
        EXPECT_NEAR(chapters[i].Start, static_cast<double>(starts[i]) / 44100, 0.0005 + 1e-9) << i;
    }
}

TEST(NeroAacEnc, BitrateOptionsAreHonouredAndQualityRaisesTheRate) {
    TScopedFolder dir;
    const auto wav = dir / "noise.wav";
    WriteWav(wav, TWavSpec{}, 5 * 44100, TSignal::Noise);
    auto encode = [&](const std::string& option, const std::string& value) {
        const auto mp4 = dir / ("o" + option + value + ".m4a");
        auto r = RunTool({Encoder, option, value, "-if", wav.string(), "-of", mp4.string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return ProbeNumber(mp4, "stream=bit_rate", "bit_rate");
    };
    EXPECT_NEAR(encode("-cbr", "128000"), 128000, 12800);
    EXPECT_NEAR(encode("-br", "192000"), 192000, 19200);
    const double low = encode("-q", "0.25");
    const double mid = encode("-q", "0.5");
    const double high = encode("-q", "0.75");
    EXPECT_LT(low, mid);
    EXPECT_LT(mid, high);

    auto help = RunTool({Encoder, "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("128 kbit/s at 0.37 and 320 kbit/s at 0.75"), std::string::npos);
}

TEST(NeroAacEnc, RefusesBadInputsWithAReasonAndWritesNothing) {
    TScopedFolder dir;
    WriteWav(dir / "a.wav", TWavSpec{}, 4410);
    TWavSpec other;
    other.Rate = 48000;
    WriteWav(dir / "rate.wav", other, 4800);
    other = TWavSpec{};
    other.Channels = 1;
    WriteWav(dir / "mono.wav", other, 4410);
    WriteWav(dir / "locked.wav", TWavSpec{}, 4410);
    fs::permissions(dir / "locked.wav", fs::perms::owner_write);
    WriteFile(dir / "text.wav", "this is not audio at all, just a text file\n");
    const auto before = dir.Names();

    struct TCase {
        std::string Input;
        std::string Reason;
    };
    for (const TCase& c :
         {TCase{"rate.wav", "all inputs must match"}, TCase{"mono.wav", "all inputs must match"},
          TCase{"absent.wav", "No such file"}, TCase{"locked.wav", "Permission denied"},
          TCase{"text.wav", "not a WAV file"}}) {
        SCOPED_TRACE(c.Input);
        TRunOptions options;
        options.Unprivileged = c.Input == "locked.wav";
        auto r = RunTool({Encoder, "-if", (dir / "a.wav").string(), "-if", (dir / c.Input).string(),
                          "-of", (dir / "out.m4a").string()},
                         options);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find("error: input 2"), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find(c.Reason), std::string::npos) << r.Err;
        EXPECT_EQ(dir.Names(), before);
    }
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"-q", "1.5"}, {"-cbr", "fast"}, {"-he"}, {"-if", (dir / "a.wav").string()}}) {
        std::vector<std::string> args = {Encoder};
        args.insert(args.end(), bad.begin(), bad.end());
        if (bad.size() == 1 || bad[0] != "-if")
            args.insert(args.end(),
                        {"-if", (dir / "a.wav").string(), "-of", (dir / "out.m4a").string()});
        EXPECT_EQ(RunTool(args).ExitCode, 2) << bad[0];
        EXPECT_EQ(dir.Names(), before);
    }
}

TEST(NeroAacEnc, NeverTouchesAnExistingOutput) {
    TScopedFolder dir;
    WriteWav(dir / "a.wav", TWavSpec{}, 4410);
    WriteFile(dir / "out.m4a", "precious");
    auto r = RunTool({Encoder, "-if", (dir / "a.wav").string(), "-of", (dir / "out.m4a").string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("exists"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(dir / "out.m4a"), "precious");
    EXPECT_EQ(dir.Names().size(), 2u);
}

TEST(NeroAacEnc, TerminationLeavesNoPartialOutput) {
    TScopedFolder dir;
    WriteWav(dir / "long.wav", TWavSpec{}, 120 * 44100, TSignal::Noise);
    for (int sig : {SIGTERM, SIGINT}) {
        TRunOptions options;
        options.SignalWhen = "Processed 3 seconds";
        options.Signal = sig;
        auto r = RunTool(
            {Encoder, "-if", (dir / "long.wav").string(), "-of", (dir / "out.m4a").string()},
            options);
        EXPECT_EQ(r.Signal, sig) << r.Err;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"long.wav"});
    }
}

// The MP4 job reads the encoder's progress as the second token of the screen's last line, once
// the screen holds more than five lines.
TEST(NeroAacEnc, ScreenShowsRisingSecondsAfterSixLines) {
    TScopedFolder dir;
    WriteWav(dir / "long.wav", TWavSpec{}, 60 * 44100, TSignal::Noise);
    auto screens = RunOnScreen({Encoder, "-cbr", "128000", "-if", (dir / "long.wav").string(),
                                "-of", (dir / "out.m4a").string()});
    std::vector<long> seen;
    for (const auto& screen : screens) {
        long v = 0;
        if (!screen.empty() && screen.back().rfind("Processed ", 0) == 0) {
            EXPECT_GE(screen.size(), 7u);
            ASSERT_TRUE(EncoderSecondsValue(screen, v)) << screen.back();
            seen.push_back(v);
        }
    }
    ASSERT_GE(seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LT(seen.front(), seen.back());
    EXPECT_LE(seen.back(), 60);
    const auto& last = screens.back();
    ASSERT_GE(last.size(), 2u);
    EXPECT_EQ(last[last.size() - 2], "Processed 60 seconds...");
    for (const auto& row : last)
        EXPECT_LT(row.size(), 265u);

    // Written without a terminal too: every whole second, in order.
    auto r =
        RunTool({Encoder, "-if", (dir / "long.wav").string(), "-of", (dir / "again.m4a").string()});
    ASSERT_EQ(r.ExitCode, 0);
    for (int s = 0; s <= 60; ++s)
        EXPECT_NE(r.Err.find(Numbered("\rProcessed ", s, " seconds...")), std::string::npos) << s;
}

// A CD image cut by -range: each part's samples exactly, a chapter at each part's first sample,
// and parts given one after another join into the image as it was.
TEST(NeroAacEnc, RangesOfAnInputAreCutToTheSample) {
    TScopedFolder dir;
    const auto wav = dir / "image.wav";
    const std::uint64_t frames = 3 * 44100 + 17;
    WriteWav(wav, TWavSpec{}, frames, TSignal::Sine, 440);
    const std::vector<std::uint64_t> cuts = {0, 44100 + 588 * 3, 2 * 44100 + 5, frames};
    std::vector<std::string> args = {Encoder};
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const std::string range = std::to_string(cuts[i]) + ":" +
                                  (i + 2 == cuts.size() ? "" : std::to_string(cuts[i + 1]));
        args.insert(args.end(), {"-range", range, "-if", wav.string()});
        const auto part = dir / Numbered("part", i, ".m4a");
        ASSERT_EQ(
            RunTool({Encoder, "-range", range, "-if", wav.string(), "-of", part.string()}).ExitCode,
            0);
        EXPECT_EQ(ProbeNumber(part, "stream=duration_ts", "duration_ts"),
                  static_cast<double>(cuts[i + 1] - cuts[i]));
    }
    const auto joined = dir / "joined.m4a";
    args.insert(args.end(), {"-of", joined.string()});
    ASSERT_EQ(RunTool(args).ExitCode, 0);
    EXPECT_EQ(ProbeNumber(joined, "stream=duration_ts", "duration_ts"),
              static_cast<double>(frames));
    const auto chapters = Chapters(joined);
    ASSERT_EQ(chapters.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(chapters[i].Start, static_cast<double>(cuts[i]) / 44100, 0.0005 + 1e-9);

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"-range", "5:1", "-if", wav.string()},
             {"-range", "x:", "-if", wav.string()},
             {"-range", "0:1", "-range", "0:2", "-if", wav.string()},
             {"-if", wav.string(), "-range", "0:1"}}) {
        std::vector<std::string> line = {Encoder};
        line.insert(line.end(), bad.begin(), bad.end());
        line.insert(line.end(), {"-of", (dir / "bad.m4a").string()});
        EXPECT_EQ(RunTool(line).ExitCode, 2) << bad[1];
    }
    auto r =
        RunTool({Encoder, "-range", std::to_string(frames - 1) + ":" + std::to_string(frames + 1),
                 "-if", wav.string(), "-of", (dir / "bad.m4a").string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("is not within them"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "bad.m4a"));
}

// The job reads the last line's second token as seconds done once the screen holds more than
// five lines, so no plan line after the fifth may carry a whole number there, however many
// inputs are listed and whatever their names.
TEST(NeroAacEnc, NoPlanLineAfterTheFifthCarriesAWholeNumberSecond) {
    TScopedFolder dir;
    for (int inputs : {1, 2, 11, 12}) {
        SCOPED_TRACE(std::to_string(inputs) + " inputs");
        std::vector<std::string> args = {Encoder, "-cbr", "96000"};
        for (int i = 0; i < inputs; ++i) {
            const auto wav = dir / Numbered("", i, " 44100, 2.wav");
            WriteWav(wav, TWavSpec{}, 4410);
            args.insert(args.end(), {"-if", wav.string()});
        }
        const auto out = dir / Numbered("7 ", inputs, ".m4a");
        args.insert(args.end(), {"-of", out.string()});
        auto r = RunTool(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        std::istringstream lines(r.Err);
        std::size_t row = 0;
        for (std::string line; std::getline(lines, line, '\n');) {
            if (++row <= 5 || line.rfind("\rProcessed", 0) == 0 || line.rfind("Processed", 0) == 0)
                continue;
            const std::vector<std::string> tokens = BlankOrCommaTokens(line);
            if (tokens.size() >= 2) {
                EXPECT_NE(tokens[1].find_first_not_of("0123456789"), std::string::npos) << line;
            }
        }
        EXPECT_GE(row, 6u);
    }
}

// A thread that cannot start and a worker that cannot allocate end the run with one line that
// says why and a failure status, and leave no output behind.
TEST(NeroAacEnc, FailsCleanlyWhenAThreadCannotStartOrAWorkerCannotAllocate) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a preloaded library cannot come before the sanitizer's runtime";
#endif
    TScopedFolder dir;
    WriteWav(dir / "in.wav", TWavSpec{}, 80 * 44100);
    for (const auto& [mode, reason] : {std::pair{"thread", "cannot start an encoding thread"},
                                       std::pair{"worker-memory", "out of memory"}}) {
        SCOPED_TRACE(mode);
        auto r = RunTool({"/usr/bin/env", std::string("LD_PRELOAD=") + PARVANE_FAIL_SHIM,
                          std::string("PARVANE_FAIL=") + mode, Encoder, "-threads", "2", "-if",
                          (dir / "in.wav").string(), "-of", (dir / "out.m4a").string()});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Signal, 0);
        EXPECT_NE(r.Err.find("neroAacEnc: error: " + std::string(reason)), std::string::npos)
            << r.Err;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});
    }
}
