#include "AacEncoder.h"
#include "AacWindow.h"
#include "EncoderOptions.h"
#include "SegmentPlan.h"
#include "ToolTestSupport.h"
#include "common/WavFormat.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

extern "C" {
#include <libavformat/avformat.h>
}

using namespace tooltest;

namespace {

const std::string Encoder = Tool("neroAacEnc");
constexpr std::int64_t Segment = TSegmentPlan::MaxSegmentFrames * TSegmentPlan::FrameSamples;

// Music-like tones (a slowly swelling chord with harmonics; no broadband noise, whose bands the
// encoder may replace by synthetic noise at will) with the hard cases placed right at the
// segment boundaries and one frame to either side: a click, silence to full scale, a struck
// chord out of quiet.
std::vector<double> Program(int channels, int rate, std::int64_t frames, bool events,
                            int firstEvent) {
    std::vector<double> out(static_cast<std::size_t>(frames * channels));
    const double chord[] = {196.0, 246.9, 293.7, 392.0};
    const auto tone = [&](double t, int c) {
        double v = 0;
        for (double f : chord)
            for (int h = 1; h <= 4; ++h)
                v += std::sin(2 * M_PI * f * h * t + c + h) / (h * h);
        return v;
    };
    for (std::int64_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        const double swell = 0.6 + 0.4 * std::sin(2 * M_PI * 0.13 * t);
        for (int c = 0; c < channels; ++c)
            out[static_cast<std::size_t>(f * channels + c)] = 0.08 * swell * tone(t, c);
    }
    const auto set = [&](std::int64_t f, int c, double v) {
        if (f >= 0 && f < frames)
            out[static_cast<std::size_t>(f * channels + c)] = v;
    };
    const auto segments = TSegmentPlan::Cut(frames);
    for (std::size_t k = 1; events && k < segments.size(); ++k)
        for (std::int64_t b :
             {segments[k].Start - 1024, segments[k].Start, segments[k].Start + 1024})
            for (int c = 0; c < channels; ++c) {
                const auto event = (k - 1 + static_cast<std::size_t>(firstEvent)) % 3;
                if (event == 0) { // a click
                    set(b, c, 0.99);
                } else if (event == 1) { // silence, then a full-scale square-ish tone
                    for (std::int64_t f = b - 700; f < b + 300; ++f)
                        set(f, c,
                            f < b ? 0 : (std::sin(2 * M_PI * 330.0 * f / rate) > 0 ? 0.95 : -0.95));
                } else { // a struck chord out of near silence
                    for (std::int64_t f = b - 2048; f < b + 4096; ++f) {
                        const double t = static_cast<double>(f - b) / rate;
                        set(f, c,
                            f < b ? 0.001 * tone(t, c) : 0.15 * std::exp(-t * 12) * tone(t, c));
                    }
                }
            }
    return out;
}

// Writes 16-bit PCM and gives the samples as they are stored.
std::vector<double> WriteProgram(const fs::path& path, int channels, int rate, std::int64_t frames,
                                 bool events = true, int firstEvent = 0) {
    auto samples = Program(channels, rate, frames, events, firstEvent);
    TWavFormat fmt;
    fmt.Channels = channels;
    fmt.SampleRate = rate;
    fmt.BitsPerSample = 16;
    const auto header = fmt.CanonicalHeader(static_cast<std::uint32_t>(samples.size() * 2));
    std::string bytes(header.begin(), header.end());
    for (double& s : samples) {
        const auto v = static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0, 1.0) * 32767));
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>((v >> 8) & 0xFF);
        s = v / 32768.0;
    }
    WriteFile(path, bytes);
    return samples;
}

struct TComparison {
    double SnrDb = 0;
    double SerialSnrDb = 0;
    double WorstBlockDb = 0; // error energy over the serial encodes', in the worst block
    std::int64_t WorstBlock = 0;
    double WorstSeamBlockDb = 0; // the same, among the blocks near a segment boundary
};

// Blocks on either side of a boundary that a splice or an unsettled encoder could spoil.
constexpr std::int64_t SeamReach = 64;

bool NearSeam(std::int64_t block, std::int64_t frames) {
    const auto segments = TSegmentPlan::Cut(frames);
    for (std::size_t k = 1; k < segments.size(); ++k)
        if (std::abs(block - segments[k].Start / 1024) <= SeamReach)
            return true;
    return false;
}

// Both encodes decoded by FFmpeg and held against the source in 1024-sample blocks. FFmpeg's
// encoder is chaotic: a serial encode of the input made 0.001 dB louder has blocks some 10 dB
// worse than the plain one, anywhere in the file. So each block is held against the better of
// the two, and the blocks far from a seam, where only that chaos differs, are left to the
// overall figures, which are held against the plain encode.
TComparison Compare(const std::vector<double>& source, int channels, const fs::path& ours,
                    const fs::path& serial, const fs::path& nudged) {
    const auto a = DecodeFloat(ours);
    const auto b = DecodeFloat(serial);
    const auto n = DecodeFloat(nudged);
    EXPECT_GE(a.size(), source.size());
    EXPECT_GE(b.size(), source.size());
    const std::size_t block = 1024 * static_cast<std::size_t>(channels);
    // Below about -100 dBFS per sample both are silent; ratios of nothing mean nothing.
    const double floor = static_cast<double>(block) * 1e-10;
    double signal = 0, errA = 0, errB = 0;
    TComparison result;
    result.WorstBlockDb = result.WorstSeamBlockDb = -1e9;
    const auto frames = static_cast<std::int64_t>(source.size()) / channels;
    const std::size_t length = std::min({source.size(), a.size(), b.size(), n.size()});
    for (std::size_t from = 0; from + block <= length; from += block) {
        double ea = 0, eb = 0, en = 0;
        for (std::size_t i = from; i < from + block; ++i) {
            signal += source[i] * source[i];
            ea += (a[i] - source[i]) * (a[i] - source[i]);
            eb += (b[i] - source[i]) * (b[i] - source[i]);
            en += (n[i] - source[i]) * (n[i] - source[i]);
        }
        errA += ea;
        errB += eb;
        const double ratio = 10 * std::log10((ea + floor) / (std::max(eb, en) + floor));
        const auto index = static_cast<std::int64_t>(from / block);
        if (ratio > result.WorstBlockDb) {
            result.WorstBlockDb = ratio;
            result.WorstBlock = index;
        }
        if (NearSeam(index, frames))
            result.WorstSeamBlockDb = std::max(result.WorstSeamBlockDb, ratio);
    }
    result.SnrDb = 10 * std::log10(signal / errA);
    result.SerialSnrDb = 10 * std::log10(signal / errB);
    return result;
}

struct TRawPacket {
    std::vector<std::uint8_t> Data;
    std::int64_t Pts = 0;
};

std::vector<TRawPacket> ReadPackets(const fs::path& file) {
    std::vector<TRawPacket> packets;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0)
        return packets;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(in, packet) >= 0) {
        if (in->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            packets.push_back({{packet->data, packet->data + packet->size}, packet->pts});
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&in);
    return packets;
}

// How many consecutive frames do not follow on from each other; -1 when a window is unreadable.
int IllegalTransitions(const fs::path& file) {
    const auto packets = ReadPackets(file);
    EXPECT_FALSE(packets.empty());
    int illegal = 0;
    TAacWindow::TSequence previous{}, next{};
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (!TAacWindow::Read(packets[i].Data.data(), packets[i].Data.size(), next))
            return -1;
        illegal += i > 0 && !TAacWindow::Follows(previous, next);
        previous = next;
    }
    return illegal;
}

// The serial reference encodes: plain, and of the input nudged by 0.001 dB.
void EncodeSerially(const fs::path& wav, const std::string& bitrate, const fs::path& serial,
                    const fs::path& nudged) {
    for (const auto& [out, gain] : {std::pair{serial, "1"}, std::pair{nudged, "1.000115"}})
        ASSERT_EQ(
            RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", wav.string(), "-af",
                     std::string("volume=") + gain, "-c:a", "aac", "-b:a", bitrate, out.string()})
                .ExitCode,
            0);
}

struct TProgramCase {
    std::string Name;
    int Channels;
    int Rate;
    std::int64_t Frames;
    std::string Bitrate;
    int FirstEvent;
};

} // namespace

TEST(SegmentPlan, CutsAtWholeFramesIntoEvenSegmentsByLengthAlone) {
    EXPECT_TRUE(TSegmentPlan::Cut(0).empty());
    const auto one = TSegmentPlan::Cut(Segment);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].End, Segment);
    EXPECT_EQ(TSegmentPlan::Cut(2 * Segment).size(), 2u);
    const std::int64_t total = 2 * Segment + 5;
    const auto four = TSegmentPlan::Cut(total);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0].Start, 0);
    for (std::size_t i = 0; i < four.size(); ++i) {
        EXPECT_EQ(four[i].Start % TSegmentPlan::FrameSamples, 0);
        EXPECT_LE(four[i].End - four[i].Start, Segment);
        if (i > 0) {
            EXPECT_EQ(four[i].Start, four[i - 1].End);
        }
    }
    EXPECT_EQ(four[1].End - four[1].Start, four[0].End - four[0].Start);
    EXPECT_EQ(four[3].End, total);
    EXPECT_EQ(TSegmentPlan::Cut(5 * Segment).size(), 8u);
    EXPECT_GE(TSegmentPlan::PreRollFrames, 32);
    EXPECT_GE(TSegmentPlan::MaxPreRollFrames, TSegmentPlan::PreRollFrames);
    EXPECT_GE(TSegmentPlan::PostRollFrames, 2);
}

// Frames written field by field: {bit count, value}.
std::vector<std::uint8_t> Bits(std::initializer_list<std::pair<int, unsigned>> fields) {
    std::vector<std::uint8_t> bytes;
    int used = 8;
    for (auto [count, value] : fields)
        for (int i = count - 1; i >= 0; --i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<std::uint8_t>(((value >> i) & 1u) << (7 - used++));
        }
    return bytes;
}

TEST(AacWindow, ReadsTheFirstChannelElementPastFillAndData) {
    using S = TAacWindow::TSequence;
    TAacWindow::TSequence seq{};
    // SCE: id, tag, global gain, reserved bit, window sequence.
    const auto sce = Bits({{3, 0}, {4, 0}, {8, 0x80}, {1, 0}, {2, 2}});
    ASSERT_TRUE(TAacWindow::Read(sce.data(), sce.size(), seq));
    EXPECT_EQ(seq, S::EightShort);
    // FIL of two bytes, then a CPE with a common window.
    const auto filCpe =
        Bits({{3, 6}, {4, 2}, {8, 0xAA}, {8, 0xBB}, {3, 1}, {4, 0}, {1, 1}, {1, 0}, {2, 1}});
    ASSERT_TRUE(TAacWindow::Read(filCpe.data(), filCpe.size(), seq));
    EXPECT_EQ(seq, S::LongStart);
    // A long FIL (count 15 + escape), an aligned DSE, then a CPE without a common window.
    const auto dseCpe = Bits({{3, 6},
                              {4, 15},
                              {8, 2},
                              {32, 0},
                              {32, 0},
                              {32, 0},
                              {32, 0},
                              {3, 4},
                              {4, 0},
                              {1, 1},
                              {8, 1},
                              {1, 0},
                              {8, 0x55},
                              {3, 1},
                              {4, 0},
                              {1, 0},
                              {8, 9},
                              {1, 0},
                              {2, 3}});
    ASSERT_TRUE(TAacWindow::Read(dseCpe.data(), dseCpe.size(), seq));
    EXPECT_EQ(seq, S::LongStop);
    const auto end = Bits({{3, 7}});
    EXPECT_FALSE(TAacWindow::Read(end.data(), end.size(), seq));
    EXPECT_FALSE(TAacWindow::Read(sce.data(), 1, seq));

    const S all[] = {S::OnlyLong, S::LongStart, S::EightShort, S::LongStop};
    int legal = 0;
    for (S a : all)
        for (S b : all)
            legal += TAacWindow::Follows(a, b);
    EXPECT_EQ(legal, 8);
    EXPECT_TRUE(TAacWindow::Follows(S::LongStart, S::LongStop));
    EXPECT_FALSE(TAacWindow::Follows(S::OnlyLong, S::EightShort));
    EXPECT_FALSE(TAacWindow::Follows(S::EightShort, S::OnlyLong));
}

// Segments encoded apart and spliced must sound like one serial encode, seams included.
TEST(SegmentedEncode, MatchesASerialEncodeAcrossEverySeam) {
    const std::vector<TProgramCase> cases = {
        {"stereo 44.1 kHz, a click", 2, 44100, Segment + 12345, "192000", 0},
        {"mono 44.1 kHz, silence to full scale", 1, 44100, Segment + 4321, "64000", 1},
        {"mono 48 kHz, a struck chord", 1, 48000, Segment + 999, "96000", 2},
        {"stereo 48 kHz, a struck chord", 2, 48000, Segment + 999, "128000", 2},
    };
    TScopedFolder dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto wav = dir / (c.Name + ".wav");
        const auto source = WriteProgram(wav, c.Channels, c.Rate, c.Frames, true, c.FirstEvent);
        const auto ours = dir / (c.Name + ".m4a");
        const auto serial = dir / (c.Name + " serial.m4a");
        const auto nudged = dir / (c.Name + " nudged.m4a");
        auto r = RunTool({Encoder, "-cbr", c.Bitrate, "-if", wav.string(), "-of", ours.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        EncodeSerially(wav, c.Bitrate, serial, nudged);
        const auto q = Compare(source, c.Channels, ours, serial, nudged);
        EXPECT_NEAR(q.SnrDb, q.SerialSnrDb, 0.3);
        EXPECT_LE(q.WorstSeamBlockDb, 6);
        const double sizeRatio =
            static_cast<double>(fs::file_size(ours)) / static_cast<double>(fs::file_size(serial));
        EXPECT_NEAR(sizeRatio, 1, 0.02);
        EXPECT_EQ(IllegalTransitions(ours), 0);
        EXPECT_EQ(Probe(ours, "stream=duration_ts")["duration_ts"], std::to_string(c.Frames));
        const auto frames = static_cast<std::int64_t>(DecodeFloat(ours).size()) / c.Channels;
        EXPECT_EQ(frames, (c.Frames + 1023) / 1024 * 1024);
    }
}

// The same comparison must see a seam, or passing it would prove nothing: spliced without
// pre-roll, the first frame of each segment cannot cancel the aliasing of the frame before.
TEST(SegmentedEncode, TheComparisonSeesASpliceWithoutPreRoll) {
    TScopedFolder dir;
    const auto wav = dir / "steady.wav";
    const std::int64_t frames = Segment + 999;
    auto source = WriteProgram(wav, 2, 44100, frames, false);
    const auto serial = dir / "serial.m4a";
    const auto nudged = dir / "nudged.m4a";
    EncodeSerially(wav, "128000", serial, nudged);
    TEncoderOptions options;
    ASSERT_TRUE(options.Parse(
        {"-cbr", "128000", "-if", wav.string(), "-of", (dir / "seams.m4a").string()}));
    options.PreRoll = 0;
    options.MaxPreRoll = 0;
    options.CheckSplices = false;
    TAacEncoder encoder(options);
    ASSERT_EQ(encoder.Run(), 0);
    const auto q = Compare(source, 2, dir / "seams.m4a", serial, nudged);
    EXPECT_GT(q.WorstSeamBlockDb, 6);
    // The damage is in the block the two segments' frames overlap in.
    EXPECT_NEAR(q.WorstBlock, TSegmentPlan::Cut(frames)[1].Start / 1024, 1);
}

// A segment whose first frame does not follow on from the frame before is encoded again with
// more pre-roll; what is written never holds an illegal transition.
TEST(SegmentedEncode, ReencodesASegmentWhoseWindowsDoNotJoin) {
    TScopedFolder dir;
    const auto wav = dir / "attacks.wav";
    WriteProgram(wav, 2, 44100, Segment + 4000, true, 2);
    for (int preRoll : {0, 2}) {
        SCOPED_TRACE(preRoll);
        const auto out = dir / Numbered("out", preRoll, ".m4a");
        TEncoderOptions options;
        ASSERT_TRUE(options.Parse({"-if", wav.string(), "-of", out.string(), "-threads", "2"}));
        options.PreRoll = preRoll;
        ASSERT_EQ(TAacEncoder(options).Run(), 0);
        EXPECT_EQ(IllegalTransitions(out), 0);
    }
}

// The same samples give the same bytes however many threads encode them and however wide the
// input stores them (16-bit inputs are held as integers, wider ones as floats).
TEST(SegmentedEncode, SameBytesForEveryThreadCountAndSampleWidth) {
    TScopedFolder dir;
    const auto wav = dir / "in.wav";
    const auto wide = dir / "in24.wav";
    WriteProgram(wav, 2, 44100, Segment + 4321);
    ASSERT_EQ(RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", wav.string(), "-c:a",
                       "pcm_s24le", wide.string()})
                  .ExitCode,
              0);
    std::string first;
    for (const auto& [threads, in] :
         {std::pair{"1", wav}, std::pair{"2", wav}, std::pair{"7", wav}, std::pair{"2", wide}}) {
        SCOPED_TRACE(in.filename().string() + " on " + threads);
        const auto out = dir / (in.stem().string() + "-" + threads + ".m4a");
        auto r = RunTool({Encoder, "-threads", threads, "-cbr", "128000", "-if", in.string(), "-of",
                          out.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const auto bytes = ReadFile(out);
        if (first.empty())
            first = bytes;
        EXPECT_TRUE(bytes == first);
    }
    for (const char* bad : {"0", "-1", "two", "100000"})
        EXPECT_EQ(RunTool({Encoder, "-threads", bad, "-if", wav.string(), "-of",
                           (dir / "bad.m4a").string()})
                      .ExitCode,
                  2)
            << bad;
    EXPECT_NE(RunTool({Encoder, "--help"}).Out.find("-threads N"), std::string::npos);
}

// Inputs are opened one at a time, so a join of more files than the descriptor limit allows
// still works.
TEST(SegmentedEncode, JoinsMoreInputsThanOpenDescriptorsAllow) {
    TScopedFolder dir;
    TWavSpec spec;
    spec.Channels = 1;
    std::vector<std::string> args = {"/usr/bin/prlimit", "--nofile=1024", Encoder, "-cbr", "48000"};
    for (int i = 0; i < 2000; ++i) {
        const auto wav = dir / Numbered("p", i, ".wav");
        WriteWav(wav, spec, 300 + static_cast<std::uint64_t>(i % 5));
        args.insert(args.end(), {"-if", wav.string()});
    }
    const auto out = dir / "many.m4a";
    args.insert(args.end(), {"-of", out.string()});
    auto r = RunTool(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err.substr(0, 2000);
    EXPECT_EQ(Chapters(out).size(), 2000u);
}
