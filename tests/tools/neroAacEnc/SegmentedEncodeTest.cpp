#include "AacEncoder.h"
#include "AacWindow.h"
#include "CpuCount.h"
#include "EncoderOptions.h"
#include "EncoderPool.h"
#include "FrameCosts.h"
#include "InputSequence.h"
#include "SegmentPlan.h"
#include "SparseWav.h"
#include "ToolTestSupport.h"
#include "common/WavFormat.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

using namespace tooltest;

namespace {

const std::string Encoder = Tool("neroAacEnc");
constexpr std::int64_t Segment = TSegmentPlan::MaxSegmentFrames * TSegmentPlan::FrameSamples;

enum class TEvent { Click, SilenceToFullScale, StruckChord, ClickTrain };

// Where a stream of this length is cut on this many threads: each segment's first sample.
std::vector<std::int64_t> Seams(std::int64_t frames, int threads) {
    std::vector<std::int64_t> seams;
    const auto plan = TSegmentPlan::Cut(frames, threads);
    for (std::size_t k = 1; k < plan.size(); ++k)
        seams.push_back(plan[k].Start);
    return seams;
}

// Music-like tones (a slowly swelling chord with harmonics; no broadband noise, whose bands the
// encoder may replace by synthetic noise at will) with the hard cases placed at every seam and
// one frame to either side, in the channels of the mask only: a click, silence to full scale,
// a struck chord out of quiet, or a train of clicks across the seam.
std::vector<double> Program(int channels, int rate, std::int64_t frames,
                            const std::vector<std::int64_t>& seams, TEvent event, unsigned mask) {
    std::vector<double> out(static_cast<std::size_t>(frames * channels));
    const double chord[] = {196.0, 246.9, 293.7, 392.0};
    const auto tone = [&](double t, int c) {
        double v = 0;
        for (double f : chord)
            for (int h = 1; h <= 4; ++h)
                v += std::sin(2 * M_PI * f * (1 + 0.01 * c) * h * t + c + h) / (h * h);
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
    for (std::int64_t seam : seams)
        for (int c = 0; c < channels; ++c) {
            if (!(mask >> c & 1u))
                continue;
            if (event == TEvent::ClickTrain) {
                for (std::int64_t f = seam - 6000; f < seam + 6000; f += 700)
                    set(f, c, 0.99);
                continue;
            }
            for (std::int64_t b : {seam - 1024, seam, seam + 1024}) {
                if (event == TEvent::Click) {
                    set(b, c, 0.99);
                } else if (event == TEvent::SilenceToFullScale) {
                    for (std::int64_t f = b - 700; f < b + 300; ++f)
                        set(f, c,
                            f < b ? 0 : (std::sin(2 * M_PI * 330.0 * f / rate) > 0 ? 0.95 : -0.95));
                } else {
                    for (std::int64_t f = b - 2048; f < b + 4096; ++f) {
                        const double t = static_cast<double>(f - b) / rate;
                        set(f, c,
                            f < b ? 0.001 * tone(t, c) : 0.15 * std::exp(-t * 12) * tone(t, c));
                    }
                }
            }
        }
    return out;
}

// Writes 16-bit PCM and gives the samples as they are stored.
std::vector<double> WriteSamples(const fs::path& path, int channels, int rate,
                                 std::vector<double> samples) {
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

std::vector<double> WriteProgram(const fs::path& path, int channels, int rate, std::int64_t frames,
                                 int threads, TEvent event = TEvent::Click, unsigned mask = ~0u) {
    return WriteSamples(path, channels, rate,
                        Program(channels, rate, frames, Seams(frames, threads), event, mask));
}

struct TComparison {
    double SnrDb = 0;
    double SerialSnrDb = 0;
    // Error energy over the serial encodes', in the worst block near a seam.
    double WorstSeamBlockDb = -1e9;
    double WorstSpliceBlockDb = -1e9; // the worst of the blocks a seam's frames reach into
};

// Blocks on either side of a seam that a splice or an unsettled encoder could spoil.
constexpr std::int64_t SeamReach = 64;

// The encodes decoded by FFmpeg and held against the source in 1024-sample blocks, channel by
// channel. FFmpeg's encoder is chaotic: a serial encode of the input made 0.001 dB louder or
// softer has blocks some 10 dB worse than the plain one, near transients, in any channel. So
// each block is held against the worst of the serial encodes given, and the overall figures
// against the first.
std::vector<TComparison> Compare(const std::vector<double>& source, int channels,
                                 const std::vector<std::int64_t>& seams, const fs::path& ours,
                                 const std::vector<fs::path>& serial) {
    const auto a = DecodeFloat(ours);
    EXPECT_GE(a.size(), source.size());
    std::size_t length = std::min(source.size(), a.size());
    std::vector<std::vector<float>> refs;
    for (const auto& path : serial) {
        refs.push_back(DecodeFloat(path));
        EXPECT_GE(refs.back().size(), source.size());
        length = std::min(length, refs.back().size());
    }
    const auto width = static_cast<std::size_t>(channels);
    const std::size_t frames = length / width;
    // Below about -100 dBFS per sample both are silent; ratios of nothing mean nothing.
    const double floor = 1024 * 1e-10;
    std::vector<TComparison> result(width);
    for (std::size_t c = 0; c < width; ++c) {
        auto& r = result[c];
        double signal = 0, errA = 0, errB = 0;
        for (std::size_t from = 0; from + 1024 <= frames; from += 1024) {
            double ea = 0, eb = 0;
            std::vector<double> eRefs(refs.size());
            for (std::size_t i = from * width + c; i < (from + 1024) * width; i += width) {
                signal += source[i] * source[i];
                ea += (a[i] - source[i]) * (a[i] - source[i]);
                for (std::size_t k = 0; k < refs.size(); ++k)
                    eRefs[k] += (refs[k][i] - source[i]) * (refs[k][i] - source[i]);
            }
            eb = eRefs[0];
            errA += ea;
            errB += eb;
            const double worst = *std::max_element(eRefs.begin(), eRefs.end());
            const double ratio = 10 * std::log10((ea + floor) / (worst + floor));
            const auto index = static_cast<std::int64_t>(from / 1024);
            for (std::int64_t seam : seams) {
                const std::int64_t distance = index - seam / 1024;
                if (std::abs(distance) <= SeamReach)
                    r.WorstSeamBlockDb = std::max(r.WorstSeamBlockDb, ratio);
                if (std::abs(distance) <= 1)
                    r.WorstSpliceBlockDb = std::max(r.WorstSpliceBlockDb, ratio);
            }
        }
        r.SnrDb = 10 * std::log10(signal / errA);
        r.SerialSnrDb = 10 * std::log10(signal / errB);
    }
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

struct TWindows {
    int Unreadable = 0;                             // frames that do not parse to their end
    int Differing = 0;                              // frames whose channels' windows differ
    std::vector<std::vector<std::int64_t>> Illegal; // per channel, the frames that do not follow
    int IllegalCount() const {
        int n = 0;
        for (const auto& c : Illegal)
            n += static_cast<int>(c.size());
        return n;
    }
};

// Every frame's windows, channel by channel.
TWindows Windows(const fs::path& file, int rate) {
    const auto packets = ReadPackets(file);
    EXPECT_FALSE(packets.empty());
    TWindows result;
    std::vector<TAacWindow::TChannel> previous, next;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (!TAacWindow::Read(packets[i].Data.data(), packets[i].Data.size(), rate, next)) {
            ++result.Unreadable;
            previous.clear();
            continue;
        }
        result.Illegal.resize(next.size());
        // The channel pairs: stereo's, and 5.1's front and surround.
        std::vector<std::size_t> pairs;
        if (next.size() == 2)
            pairs = {0};
        else if (next.size() == 6)
            pairs = {1, 3};
        result.Differing += std::any_of(pairs.begin(), pairs.end(), [&](std::size_t first) {
            return next[first].Sequence != next[first + 1].Sequence;
        });
        for (std::size_t c = 0; c < next.size(); ++c) {
            if (c < previous.size() && !TAacWindow::Follows(previous[c].Sequence, next[c].Sequence))
                result.Illegal[c].push_back(static_cast<std::int64_t>(i));
        }
        previous = next;
    }
    return result;
}

// The serial reference encodes: plain, and of the input made 0.001 dB louder and softer.
struct TSerial {
    fs::path Plain, Louder, Softer;
};

TSerial EncodeSerially(const fs::path& wav, const std::string& bitrate) {
    const std::string stem = (wav.parent_path() / wav.stem()).string();
    const TSerial serial{stem + " serial.m4a", stem + " louder.m4a", stem + " softer.m4a"};
    for (const auto& [out, gain] :
         {std::pair{serial.Plain, "1"}, std::pair{serial.Louder, "1.000115"},
          std::pair{serial.Softer, "0.999885"}})
        EXPECT_EQ(
            RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-y", "-i", wav.string(), "-af",
                     std::string("volume=") + gain, "-c:a", "aac", "-b:a", bitrate, out.string()})
                .ExitCode,
            0);
    return serial;
}

struct TQuality {
    std::vector<TComparison> Channels;
    double SizeRatio = 0;
};

TQuality Measure(const std::vector<double>& source, int channels,
                 const std::vector<std::int64_t>& seams, const fs::path& ours,
                 const TSerial& serial) {
    TQuality q;
    q.Channels =
        Compare(source, channels, seams, ours, {serial.Plain, serial.Louder, serial.Softer});
    q.SizeRatio =
        static_cast<double>(fs::file_size(ours)) / static_cast<double>(fs::file_size(serial.Plain));
    return q;
}

// The quality rules, channel by channel.
void ExpectSerialQuality(const TQuality& q) {
    for (std::size_t c = 0; c < q.Channels.size(); ++c) {
        SCOPED_TRACE("channel " + std::to_string(c + 1));
        EXPECT_NEAR(q.Channels[c].SnrDb, q.Channels[c].SerialSnrDb, 0.3);
        EXPECT_LE(q.Channels[c].WorstSeamBlockDb, 6);
    }
    EXPECT_NEAR(q.SizeRatio, 1, 0.02);
}

// The encoder's -timing line: its wall time, each thread's busy and processor time, each
// segment's start.
struct TTiming {
    double Wall = 0;
    std::vector<double> Busy;
    std::vector<double> Cpu;
    std::vector<std::int64_t> Starts;
};

TTiming ReadTiming(const std::string& err) {
    TTiming t;
    const auto at = err.find("Timing: ");
    EXPECT_NE(at, std::string::npos) << err;
    if (at == std::string::npos)
        return t;
    std::istringstream fields(err.substr(at + 8, err.find('\n', at) - at - 8));
    for (std::string field; fields >> field;) {
        const auto eq = field.find('=');
        std::istringstream values(field.substr(eq + 1));
        const std::string key = field.substr(0, eq);
        for (std::string v; std::getline(values, v, ',');) {
            if (key == "wall")
                t.Wall = std::stod(v);
            else if (key == "busy")
                t.Busy.push_back(std::stod(v));
            else if (key == "cpu")
                t.Cpu.push_back(std::stod(v));
            else if (key == "starts")
                t.Starts.push_back(std::stoll(v));
        }
    }
    return t;
}

// Uneven cost: the tones of Program in one half; in the other digital silence, which the
// encoder codes at a fraction of the cost, with a struck chord of a quarter second every three.
std::vector<double> Uneven(int channels, int rate, std::int64_t frames, bool denseFirst) {
    auto out = Program(channels, rate, frames, {}, TEvent::Click, 0);
    const std::int64_t half = frames / 2;
    const std::int64_t from = denseFirst ? half : 0;
    const std::int64_t to = denseFirst ? frames : half;
    for (std::int64_t f = from; f < to; ++f) {
        const std::int64_t inNote = (f - from) % (3 * rate);
        const double t = static_cast<double>(inNote) / rate;
        for (int c = 0; c < channels; ++c) {
            auto& v = out[static_cast<std::size_t>(f * channels + c)];
            v = inNote < rate / 4 ? v * 2 * std::exp(-t * 8) : 0;
        }
    }
    return out;
}

} // namespace

TEST(SegmentPlan, CutsForEveryThreadCountSoThatTheThreadsFinishTogether) {
    EXPECT_TRUE(TSegmentPlan::Cut(0, 2).empty());
    constexpr std::int64_t frame = TSegmentPlan::FrameSamples;
    constexpr std::int64_t preRoll = TSegmentPlan::PreRollFrames;
    const std::int64_t lengths[] = {1,
                                    1000,
                                    44100 * 60,
                                    44100 * 240 + 7,
                                    44100 * 360,
                                    48000 * 600 + 1,
                                    44100 * 3600,
                                    44100 * 3 * 3600};
    for (std::int64_t total : lengths)
        for (int threads = 1; threads <= 16; ++threads) {
            SCOPED_TRACE(std::to_string(total) + " samples on " + std::to_string(threads));
            const auto plan = TSegmentPlan::Cut(total, threads);
            ASSERT_FALSE(plan.empty());
            EXPECT_EQ(plan.front().Start, 0);
            EXPECT_EQ(plan.back().End, total);
            const std::int64_t frames = (total + frame - 1) / frame;
            const auto count = static_cast<std::int64_t>(plan.size());
            // Every thread busy while the stream is long enough for it, and none left over for a
            // last round of its own.
            if (frames >= preRoll + threads * TSegmentPlan::MinSegmentFrames) {
                EXPECT_EQ(count % threads, 0);
            } else {
                EXPECT_LT(count, std::max(threads, 2));
            }
            for (std::size_t k = 0; k < plan.size(); ++k) {
                const std::int64_t length = plan[k].End - plan[k].Start;
                EXPECT_EQ(plan[k].Start % frame, 0);
                if (k > 0) {
                    EXPECT_EQ(plan[k].Start, plan[k - 1].End);
                }
                if (k + 1 == plan.size())
                    continue;
                // As many frames encoded for each, to the frame: the first's own stand in for the
                // pre-roll.
                const std::int64_t work = length / frame + (k > 0 ? preRoll : 0);
                EXPECT_NEAR(work, (plan[0].End - plan[0].Start) / frame, 1);
                EXPECT_GE(length / frame, TSegmentPlan::MinSegmentFrames);
                EXPECT_LE(length / frame, TSegmentPlan::MaxSegmentFrames + preRoll);
            }
        }
    // A four-minute track: a segment per core, not one for all.
    EXPECT_EQ(TSegmentPlan::Cut(44100 * 240, 2).size(), 2u);
    EXPECT_EQ(TSegmentPlan::Cut(44100 * 240, 8).size(), 8u);
    EXPECT_EQ(TSegmentPlan::Cut(44100 * 240, 1).size(), 1u);
    EXPECT_EQ(TSegmentPlan::Cut(44100 * 3600, 1).size(), 10u);
    EXPECT_GE(TSegmentPlan::MaxPreRollFrames, TSegmentPlan::PreRollFrames);
}

// Where the frames' costs differ, the cuts follow the work, pre-roll included, not the length:
// sound in one part and digital silence in the other, either way round, in a few channels or
// in all, on 2, 3 and 8 threads.
TEST(SegmentPlan, CutsWhereTheWorkIsEvenNotTheLength) {
    constexpr std::int64_t frame = TSegmentPlan::FrameSamples;
    struct TCase {
        std::string Name;
        std::vector<float> Costs; // each for a tenth of the stream
    };
    const float q = TFrameCosts::SilentChannel;
    const TCase cases[] = {
        {"sound, then silence", {1, 1, 1, 1, 1, q, q, q, q, q}},
        {"silence, then sound", {q, q, q, q, q, 1, 1, 1, 1, 1}},
        {"sound in the middle", {q, q, q, 1, 1, 1, 1, q, q, q}},
        {"half the channels silent at the end", {1, 1, 1, 1, 1, 1, 0.6f, 0.6f, 0.6f, 0.6f}},
    };
    const std::int64_t total = 44100 * 600 + 99;
    const std::int64_t frames = (total + frame - 1) / frame;
    for (const auto& c : cases)
        for (int threads : {2, 3, 8}) {
            SCOPED_TRACE(c.Name + " on " + std::to_string(threads));
            TFrameCosts costs;
            costs.Stride = (frames + 9) / 10;
            costs.Cost = c.Costs;
            const auto plan = TSegmentPlan::Cut(total, threads, costs);
            ASSERT_EQ(plan.size(), static_cast<std::size_t>(threads));
            EXPECT_EQ(plan.back().End, total);
            // Each one's work: its frames and its pre-roll's, by the costs as given.
            std::vector<double> work;
            for (std::size_t k = 0; k < plan.size(); ++k) {
                EXPECT_EQ(plan[k].Start % frame, 0);
                if (k > 0) {
                    EXPECT_EQ(plan[k].Start, plan[k - 1].End);
                }
                const std::int64_t from =
                    k == 0 ? 0 : plan[k].Start / frame - TSegmentPlan::PreRollFrames;
                double w = 0;
                for (std::int64_t f = from; f < (plan[k].End + frame - 1) / frame; ++f)
                    w += c.Costs[static_cast<std::size_t>(f / costs.Stride)];
                work.push_back(w);
            }
            for (std::size_t k = 0; k + 1 < work.size(); ++k)
                EXPECT_NEAR(work[k], work[0], 1.01);
            EXPECT_LE(work.back(), work[0] + 1.01);
            // And the thread with the silent part is not left idle: the last is a full share.
            EXPECT_GE(work.back(), work[0] * 0.98);
        }
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

TEST(AacWindow, ReadsEveryChannelOfEveryElement) {
    using S = TAacWindow::TSequence;
    std::vector<TAacWindow::TChannel> got;
    const auto read = [&](const std::vector<std::uint8_t>& frame) {
        return TAacWindow::Read(frame.data(), frame.size(), 44100, got);
    };
    // An SCE with a short window and no bands: tag, global gain, ics_info (reserved, sequence,
    // shape, max_sfb, grouping), no pulse, TNS or gain control; then END.
    const auto sce = Bits({{3, 0},
                           {4, 0},
                           {8, 100},
                           {1, 0},
                           {2, 2},
                           {1, 0},
                           {4, 0},
                           {7, 0},
                           {1, 0},
                           {1, 0},
                           {1, 0},
                           {3, 7}});
    ASSERT_TRUE(read(sce));
    EXPECT_EQ(got, (std::vector<TAacWindow::TChannel>{{S::EightShort, 0}}));
    // A FIL element, a CPE without a common window whose channels differ, an LFE, END.
    const auto whole = Bits(
        {{3, 6}, {4, 2}, {8, 0xAA}, {8, 0xBB}, {3, 1}, {4, 0}, {1, 0},   {8, 100}, {1, 0}, {2, 0},
         {1, 1}, {6, 0}, {1, 0},    {1, 0},    {1, 0}, {1, 0}, {8, 100}, {1, 0},   {2, 1}, {1, 0},
         {6, 0}, {1, 0}, {1, 0},    {1, 0},    {1, 0}, {3, 3}, {4, 0},   {8, 100}, {1, 0}, {2, 3},
         {1, 1}, {6, 0}, {1, 0},    {1, 0},    {1, 0}, {1, 0}, {3, 7}});
    ASSERT_TRUE(read(whole));
    EXPECT_EQ(got, (std::vector<TAacWindow::TChannel>{
                       {S::OnlyLong, 1}, {S::LongStart, 0}, {S::LongStop, 1}}));
    // Cut short, or with more than padding after END, a frame is not read.
    EXPECT_FALSE(TAacWindow::Read(whole.data(), whole.size() - 1, 44100, got));
    auto padded = whole;
    padded.push_back(0);
    EXPECT_FALSE(read(padded));
    EXPECT_FALSE(read(Bits({{3, 7}})));

    const S all[] = {S::OnlyLong, S::LongStart, S::EightShort, S::LongStop};
    int legal = 0;
    for (S a : all)
        for (S b : all)
            legal += TAacWindow::Follows(a, b);
    EXPECT_EQ(legal, 8);
    EXPECT_TRUE(TAacWindow::Follows(S::LongStart, S::LongStop));
    EXPECT_FALSE(TAacWindow::Follows(S::OnlyLong, S::EightShort));
    EXPECT_FALSE(TAacWindow::Follows(S::EightShort, S::OnlyLong));
    // The second channel alone decides, and a decoder shapes the next frame by the one before.
    const std::vector<TAacWindow::TChannel> longs = {{S::OnlyLong, 1}, {S::OnlyLong, 1}};
    const std::vector<TAacWindow::TChannel> rightShort = {{S::OnlyLong, 1}, {S::EightShort, 0}};
    EXPECT_FALSE(TAacWindow::Joins(longs, rightShort));
    EXPECT_TRUE(TAacWindow::Joins(rightShort, {{S::OnlyLong, 1}, {S::LongStop, 1}}));
    EXPECT_TRUE(TAacWindow::Replaces(longs, longs, longs));
    EXPECT_FALSE(TAacWindow::Replaces(longs, {{S::OnlyLong, 1}, {S::OnlyLong, 0}}, longs));
}

// FFmpeg's serial encodes of signals whose channels differ: every frame must parse to its end,
// which it only does when every channel's data was stepped over exactly, and the channels of a
// pair must be seen to take windows of their own.
TEST(AacWindow, ReadsEveryFrameOfRealEncodesToItsEnd) {
    struct TCase {
        std::string Name;
        int Channels, Rate;
        TEvent Event;
        unsigned Mask;
        std::string Bitrate;
    };
    const TCase cases[] = {
        {"stereo, a click train on the right", 2, 44100, TEvent::ClickTrain, 2u, "192k"},
        {"5.1, an attack in the left surround", 6, 48000, TEvent::SilenceToFullScale, 1u << 3,
         "384k"},
        {"mono", 1, 32000, TEvent::StruckChord, 1u, "64k"},
    };
    TScopedFolder dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto wav = dir / (c.Name + ".wav");
        const std::int64_t frames = 12 * c.Rate;
        WriteSamples(
            wav, c.Channels, c.Rate,
            Program(c.Channels, c.Rate, frames, {frames / 4, frames / 2}, c.Event, c.Mask));
        const auto out = dir / (c.Name + ".m4a");
        ASSERT_EQ(RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", wav.string(), "-c:a",
                           "aac", "-b:a", c.Bitrate, out.string()})
                      .ExitCode,
                  0);
        const auto w = Windows(out, c.Rate);
        EXPECT_EQ(w.Unreadable, 0);
        ASSERT_EQ(w.Illegal.size(), static_cast<std::size_t>(c.Channels));
        EXPECT_EQ(w.IllegalCount(), 0);
        if (c.Channels > 1) {
            EXPECT_GT(w.Differing, 0);
        }
    }
}

struct TQualityCase {
    std::string Name;
    int Channels;
    int Rate;
    TEvent Event;
    unsigned Mask;
    std::string Bitrate;
};

// Segments encoded apart and spliced must sound like one serial encode, seams included, in
// every channel: four threads, three seams, events in one channel only where the others stay
// plain.
TEST(SegmentedEncode, MatchesASerialEncodeInEveryChannelAcrossEverySeam) {
    const std::vector<TQualityCase> cases = {
        {"stereo 44.1 kHz, a click train on the right", 2, 44100, TEvent::ClickTrain, 2u, "192000"},
        {"mono 44.1 kHz, silence to full scale", 1, 44100, TEvent::SilenceToFullScale, 1u, "64000"},
        {"mono 48 kHz, a struck chord", 1, 48000, TEvent::StruckChord, 1u, "96000"},
        {"stereo 48 kHz, a struck chord on the right", 2, 48000, TEvent::StruckChord, 2u, "128000"},
        {"5.1 48 kHz, an attack in the right surround", 6, 48000, TEvent::SilenceToFullScale,
         1u << 5, "384000"},
    };
    constexpr int threads = 3;
    TScopedFolder dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::int64_t frames = 100 * c.Rate + 777;
        const auto seams = Seams(frames, threads);
        ASSERT_EQ(seams.size(), 2u);
        const auto wav = dir / (c.Name + ".wav");
        const auto source = WriteProgram(wav, c.Channels, c.Rate, frames, threads, c.Event, c.Mask);
        const auto ours = dir / (c.Name + ".m4a");
        auto r = RunTool({Encoder, "-threads", std::to_string(threads), "-cbr", c.Bitrate, "-if",
                          wav.string(), "-of", ours.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        ExpectSerialQuality(
            Measure(source, c.Channels, seams, ours, EncodeSerially(wav, c.Bitrate)));
        EXPECT_EQ(Windows(ours, c.Rate).IllegalCount(), 0);
        EXPECT_EQ(Probe(ours, "stream=duration_ts")["duration_ts"], std::to_string(frames));
        const auto decoded = static_cast<std::int64_t>(DecodeFloat(ours).size()) / c.Channels;
        EXPECT_EQ(decoded, (frames + 1023) / 1024 * 1024);
    }
}

// Where the cost is uneven the cuts move, and every splice must still sound like a serial
// encode in every channel: sound in the first half and near silence in the second, and the
// reverse, on 2, 3 and 8 threads. (Clicks placed at seams are the test above; here the cuts
// land where the work puts them, some in the sound, some among the struck chords.)
static void ExpectSerialQualityWhereTheCostIsUneven(bool denseFirst) {
    constexpr int rate = 44100;
    const std::int64_t frames = 240 * rate + 333;
    TScopedFolder dir;
    const auto wav = dir / (denseFirst ? "dense first.wav" : "sparse first.wav");
    const auto source = WriteSamples(wav, 2, rate, Uneven(2, rate, frames, denseFirst));
    const auto serial = EncodeSerially(wav, "192000");
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const auto ours = dir / Numbered(denseFirst ? "dense " : "sparse ", threads, ".m4a");
        auto r = RunTool({Encoder, "-threads", std::to_string(threads), "-timing", "-cbr", "192000",
                          "-if", wav.string(), "-of", ours.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const auto starts = ReadTiming(r.Err).Starts;
        ASSERT_EQ(starts.size(), static_cast<std::size_t>(threads));
        // The cuts follow the work: the quiet half holds fewer of them.
        const auto inFirstHalf = std::count_if(starts.begin(), starts.end(),
                                               [&](std::int64_t s) { return s < frames / 2; });
        if (threads > 2) {
            EXPECT_EQ(inFirstHalf > threads / 2, denseFirst);
        }
        const std::vector<std::int64_t> seams(starts.begin() + 1, starts.end());
        ExpectSerialQuality(Measure(source, 2, seams, ours, serial));
        EXPECT_EQ(Windows(ours, rate).IllegalCount(), 0);
        EXPECT_EQ(Probe(ours, "stream=duration_ts")["duration_ts"], std::to_string(frames));
    }
}

TEST(SegmentedEncode, MatchesASerialEncodeWhereTheCostIsUnevenSoundFirst) {
    ExpectSerialQualityWhereTheCostIsUneven(true);
}

TEST(SegmentedEncode, MatchesASerialEncodeWhereTheCostIsUnevenSilenceFirst) {
    ExpectSerialQualityWhereTheCostIsUneven(false);
}

// The threads finish close together where the music's cost is uneven, either way round: by the
// encoder's own account of its threads, each one works for at least four fifths of the time the
// busiest does (cuts that ignore the cost give under half). Their processor times are compared,
// not their wall times, which on a shared machine follow the other programs' load; contention
// can only skew a run, so the best of three counts.
TEST(SegmentedEncode, KeepsBothThreadsBusyWhereTheCostIsUneven) {
    constexpr int rate = 44100;
    const std::int64_t frames = 360 * rate;
    TScopedFolder dir;
    for (bool denseFirst : {true, false}) {
        SCOPED_TRACE(denseFirst ? "sound first" : "silence first");
        const auto wav = dir / "in.wav";
        WriteSamples(wav, 2, rate, Uneven(2, rate, frames, denseFirst));
        const auto out = dir / (denseFirst ? "dense.m4a" : "sparse.m4a");
        TRunResult r;
        double share = 0;
        for (int attempt = 0; attempt < 3 && share < 0.8; ++attempt) {
            fs::remove(out);
            r = RunTool({Encoder, "-threads", "2", "-timing", "-cbr", "192000", "-if", wav.string(),
                         "-of", out.string()});
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            const auto cpu = ReadTiming(r.Err).Cpu;
            ASSERT_EQ(cpu.size(), 2u) << r.Err;
            ASSERT_GT(std::max(cpu[0], cpu[1]), 0);
            share = std::max(share, std::min(cpu[0], cpu[1]) / std::max(cpu[0], cpu[1]));
        }
        EXPECT_GE(share, 0.8) << r.Err.substr(r.Err.find("Timing"));
        const auto timing = ReadTiming(r.Err);
        ASSERT_EQ(timing.Busy.size(), 2u) << r.Err;
        for (double busy : timing.Busy)
            EXPECT_LE(busy, timing.Wall + 0.01);
        // Not cut in the middle: the half with the sound is shared out.
        ASSERT_EQ(timing.Starts.size(), 2u);
        EXPECT_EQ(timing.Starts[1] < frames / 2, denseFirst) << timing.Starts[1];
    }
}

// The workers read their samples from the file, so eight channels at 96 kHz in 24 bits split
// as stereo does, and with -threads 64 the encode stays far below half a gigabyte.
TEST(SegmentedEncode, ManyChannelsAtAHighRateSplitAsStereoDoes) {
    TScopedFolder dir;
    const std::uint64_t frames = 180 * 96000;
    const auto surround = dir / "7.1.wav";
    const auto stereo = dir / "stereo.wav";
    WriteSparseWav(surround, 8, 96000, frames);
    WriteSparseWav(stereo, 2, 96000, frames);
    const auto plan = [](const std::string& err) {
        const auto at = err.find("Encoding ");
        return at == std::string::npos ? std::string() : err.substr(at, err.find('\n', at) - at);
    };
    TRunOptions slow;
    slow.TimeoutMs = 240000;
    for (const char* threads : {"2", "64"}) {
        SCOPED_TRACE(std::string(threads) + " threads");
        std::string plans[2];
        for (int k = 0; k < 2; ++k) {
            const auto in = k == 0 ? surround : stereo;
            const auto out = dir / Numbered(threads, k, ".m4a");
            const auto peak = dir / "peak";
            auto r = RunTool({"/usr/bin/time", "-f", "%M", "-o", peak.string(), Encoder, "-threads",
                              threads, "-timing", "-if", in.string(), "-of", out.string()},
                             slow);
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            plans[k] = plan(r.Err);
            const auto timing = ReadTiming(r.Err);
            EXPECT_EQ(timing.Busy.size(), std::string(threads) == "2" ? 2u : 15u) << r.Err;
#ifndef __SANITIZE_THREAD__
            EXPECT_LT(std::stol(ReadFile(peak)), 512L * 1024) << "kB at most";
#endif
            EXPECT_EQ(Probe(out, "stream=duration_ts,channels")["channels"], k == 0 ? "8" : "2");
        }
        EXPECT_EQ(plans[0], plans[1]);
    }
}

// The comparison must see a bad seam, or passing it would prove nothing. Spliced without
// pre-roll, the seam is heard in every channel; with four clicks in the right channel just
// after the seam, the right channel's first frame does not follow on from the one before while
// the left's does: seen by the comparison of that channel alone, and mended by the retry.
TEST(SegmentedEncode, TheComparisonSeesASeamThatDoesNotJoinInTheSecondChannelAlone) {
    TScopedFolder dir;
    const auto wav = dir / "clicks.wav";
    const std::int64_t frames = 80 * 44100;
    const auto seams = Seams(frames, 2);
    ASSERT_EQ(seams.size(), 1u);
    auto program = Program(2, 44100, frames, {}, TEvent::Click, 0);
    for (std::int64_t k = 0; k < 4; ++k)
        program[static_cast<std::size_t>((seams[0] + k * 128) * 2 + 1)] = 0.99;
    const auto source = WriteSamples(wav, 2, 44100, program);
    const auto serial = EncodeSerially(wav, "192000");
    const auto encode = [&](const std::string& name, int preRoll, bool check) {
        TEncoderOptions options;
        EXPECT_TRUE(options.Parse({"-threads", "2", "-cbr", "192000", "-if", wav.string(), "-of",
                                   (dir / name).string()}));
        options.PreRoll = preRoll;
        options.CheckSplices = check;
        TAacEncoder encoder(options);
        EXPECT_EQ(encoder.Run(), 0);
        return encoder.Retries();
    };
    const auto seamFrame = seams[0] / 1024 + 1; // the priming frame comes first

    encode("unchecked.m4a", 0, false);
    const auto unchecked = Windows(dir / "unchecked.m4a", 44100);
    ASSERT_EQ(unchecked.Illegal.size(), 2u);
    EXPECT_TRUE(unchecked.Illegal[0].empty());
    EXPECT_EQ(unchecked.Illegal[1], std::vector<std::int64_t>{seamFrame});
    const auto bad = Measure(source, 2, seams, dir / "unchecked.m4a", serial).Channels;
    EXPECT_GT(bad[1].WorstSpliceBlockDb, 6);
    // Without pre-roll the encoder starts cold: both channels are worse past the seam.
    for (const auto& c : bad)
        EXPECT_GT(c.WorstSeamBlockDb, 6);

    EXPECT_EQ(encode("checked.m4a", 0, true), 1);
    EXPECT_EQ(Windows(dir / "checked.m4a", 44100).IllegalCount(), 0);
    const auto mended = Measure(source, 2, seams, dir / "checked.m4a", serial).Channels;
    EXPECT_LE(mended[1].WorstSpliceBlockDb, 6);
}

// A retry that must happen does, in a 5.1 stream too: four clicks in the right surround just
// after each seam, and no pre-roll. What is written never holds a frame that does not follow
// on, in any channel.
TEST(SegmentedEncode, EncodesAgainASegmentWhoseWindowsDoNotJoin) {
    TScopedFolder dir;
    const std::int64_t frames = 3200 * 1024;
    const auto wav = dir / "clicks.wav";
    auto program = Program(6, 48000, frames, {}, TEvent::Click, 0);
    for (std::int64_t seam : Seams(frames, 2))
        for (std::int64_t k = 0; k < 4; ++k)
            program[static_cast<std::size_t>((seam + k * 128) * 6 + 5)] = 0.99;
    WriteSamples(wav, 6, 48000, program);
    TEncoderOptions options;
    const auto out = dir / "out.m4a";
    ASSERT_TRUE(options.Parse({"-threads", "2", "-if", wav.string(), "-of", out.string()}));
    options.PreRoll = 0;
    TAacEncoder encoder(options);
    ASSERT_EQ(encoder.Run(), 0);
    EXPECT_GT(encoder.Retries(), 0);
    const auto w = Windows(out, 48000);
    EXPECT_EQ(w.Unreadable, 0);
    EXPECT_EQ(w.IllegalCount(), 0);
}

// The same samples give the same bytes from run to run for the same thread count, however wide
// the input stores them (16-bit inputs are held as integers, wider ones as floats).
TEST(SegmentedEncode, SameBytesForTheSameThreadCountAndAnySampleWidth) {
    TScopedFolder dir;
    const auto wav = dir / "in.wav";
    const auto wide = dir / "in24.wav";
    const std::int64_t frames = 4200 * 1024;
    WriteProgram(wav, 2, 44100, frames, 3);
    ASSERT_EQ(RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", wav.string(), "-c:a",
                       "pcm_s24le", wide.string()})
                  .ExitCode,
              0);
    std::map<std::string, std::string> first;
    int k = 0;
    for (const auto& [threads, in] :
         {std::pair{"3", wav}, std::pair{"3", wav}, std::pair{"3", wide}, std::pair{"5", wav},
          std::pair{"5", wav}}) {
        SCOPED_TRACE(in.filename().string() + " on " + threads);
        const auto out = dir / Numbered("out", k++, ".m4a");
        auto r = RunTool({Encoder, "-threads", threads, "-cbr", "128000", "-if", in.string(), "-of",
                          out.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const auto bytes = ReadFile(out);
        auto [it, fresh] = first.emplace(threads, bytes);
        EXPECT_TRUE(fresh || it->second == bytes);
    }
    for (const char* bad : {"0", "-1", "two", "100000"})
        EXPECT_EQ(RunTool({Encoder, "-threads", bad, "-if", wav.string(), "-of",
                           (dir / "bad.m4a").string()})
                      .ExitCode,
                  2)
            << bad;
    const auto help = RunTool({Encoder, "--help"}).Out;
    EXPECT_NE(help.find("-threads N"), std::string::npos);
    EXPECT_NE(help.find("same bytes"), std::string::npos);
}

// Segments finish out of order when a later one is shorter; each is handed back whole, the
// same as one encoder alone makes it, whichever order they are waited for in. The workers read
// their segments themselves, here from three inputs (two parts of one file, the rest in 24 bits)
// that join into the stream the one encoder reads from a single file: the same samples, to the
// sample, across every join and from any point.
TEST(EncoderPool, HandsBackSegmentsThatFinishOutOfOrder) {
    TScopedFolder dir;
    const std::int64_t frames = 200 * 1024;
    const auto wav = dir / "in.wav";
    WriteProgram(wav, 2, 44100, frames, 1);
    const std::int64_t joins[] = {70 * 1024 + 5, 150 * 1024 + 11};
    const auto tail = dir / "tail24.wav";
    ASSERT_EQ(RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", wav.string(), "-af",
                       "atrim=start_sample=" + std::to_string(joins[1]), "-fflags", "+bitexact",
                       "-c:a", "pcm_s24le", tail.string()})
                  .ExitCode,
              0);
    TInputSequence joined({TInputFile{wav.string(), 0, joins[0]},
                           TInputFile{wav.string(), static_cast<std::uint64_t>(joins[0]),
                                      static_cast<std::uint64_t>(joins[1])},
                           TInputFile{tail.string(), 0, std::nullopt}});
    ASSERT_TRUE(joined.Scan());
    ASSERT_EQ(joined.TotalFrames(), static_cast<std::uint64_t>(frames));
    TInputSequence whole({TInputFile{wav.string(), 0, std::nullopt}});
    ASSERT_TRUE(whole.Scan());
    const TEncoderSetup setup{2, 44100, 128000};
    // The first is the longest; the ones after it finish first.
    const std::int64_t bounds[][2] = {{0, 120}, {120, 140}, {140, 160}, {160, 180}, {180, 200}};
    std::vector<std::unique_ptr<TSegment>> segments;
    for (const auto& [from, to] : bounds) {
        auto segment = std::make_unique<TSegment>();
        segment->Index = segments.size();
        segment->Bounds = {from * 1024, to * 1024};
        segment->Last = to * 1024 == frames;
        segments.push_back(std::move(segment));
    }
    std::atomic<std::int64_t> done{0};
    {
        TEncoderPool pool(setup, joined, done);
        ASSERT_TRUE(pool.Start(4));
        for (auto& segment : segments)
            pool.Submit(*segment, 16);
        for (auto& segment : segments)
            while (!pool.WaitFinished(*segment, std::chrono::milliseconds(100))) {
            }
        const auto times = pool.Times();
        ASSERT_EQ(times.size(), 4u);
        double busy = 0;
        for (const auto& t : times)
            busy += t.Busy;
        EXPECT_GT(busy, 0);
    }
    EXPECT_EQ(done.load(), frames);
    for (auto& segment : segments) {
        SCOPED_TRACE(segment->Index);
        EXPECT_TRUE(segment->Error.empty()) << segment->Error;
        TSegment alone;
        alone.Index = segment->Index;
        alone.Bounds = segment->Bounds;
        alone.Last = segment->Last;
        TSegmentEncoder encoder(setup, whole);
        ASSERT_TRUE(encoder.Encode(alone, 16, nullptr));
        ASSERT_EQ(alone.Packets.size(), segment->Packets.size());
        for (std::size_t i = 0; i < alone.Packets.size(); ++i)
            EXPECT_TRUE(alone.Packets[i].Data == segment->Packets[i].Data);
    }
    // A file that shrank after the scan fails the segment that reaches past its new end.
    ASSERT_EQ(truncate(tail.c_str(), 44 + 1000 * 6), 0);
    TSegment cut;
    cut.Index = 4;
    cut.Bounds = {180 * 1024, frames};
    cut.Last = true;
    TSegmentEncoder encoder(setup, joined);
    EXPECT_FALSE(encoder.Encode(cut, 16, nullptr));
    EXPECT_EQ(cut.Error.rfind("input 3 (", 0), 0u) << cut.Error;
}

TEST(CpuCount, TakesTheAffinityAndTheCgroupQuota) {
    EXPECT_EQ(TCpuCount::FromQuota("max 100000"), 0);
    EXPECT_EQ(TCpuCount::FromQuota("200000 100000"), 2);
    EXPECT_EQ(TCpuCount::FromQuota("150000 100000"), 2);
    EXPECT_EQ(TCpuCount::FromQuota("50000 100000"), 1);
    EXPECT_EQ(TCpuCount::FromQuota("-1 100000"), 0);
    EXPECT_EQ(TCpuCount::FromQuota(""), 0);
    EXPECT_EQ(TCpuCount::FromQuota("100000 0"), 0);
    EXPECT_EQ(TCpuCount::FromQuota("x 100000"), 0);
    const int cpus = TCpuCount::Available();
    EXPECT_GE(cpus, 1);
    EXPECT_LE(cpus, sysconf(_SC_NPROCESSORS_ONLN));
    // Bound to one processor, the encoder plans for one thread, not one per core online.
    TScopedFolder dir;
    const auto wav = dir / "in.wav";
    WriteProgram(wav, 1, 44100, 3200 * 1024, 1, TEvent::Click, 0);
    auto r = RunTool({"/usr/bin/taskset", "-c", "0", Encoder, "-if", wav.string(), "-of",
                      (dir / "out.m4a").string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE((r.Out + r.Err).find("as 1 segment on 1 thread"), std::string::npos) << r.Out;
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

// Inputs listed while the encoder runs, as the job lists each source once it is decoded: the
// stream is cut for the count and length announced, so the bytes do not depend on how fast the
// inputs come, one thread still gives the serial encode, and an announced length that is wrong
// still gives every sample and every chapter where it belongs.
TEST(SegmentedEncode, AwaitedInputsGiveTheSameBytesHoweverFastTheyArrive) {
    TScopedFolder dir;
    const std::vector<std::uint64_t> frames = {20 * 44100 + 17, 40 * 44100, 30 * 44100 + 5};
    std::vector<std::string> direct;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto wav = dir / Numbered("in", i, ".wav");
        // The second silent, so that a look at the costs would cut elsewhere.
        WriteWav(wav, TWavSpec{}, frames[i], TSignal::Sine, i == 1 ? 0 : 300.0 * (i + 1));
        direct.insert(direct.end(), {"-if", wav.string()});
        total += frames[i];
    }
    // Lists the inputs, all at once or one every 300 ms, the first of them late too.
    const auto encode = [&](const fs::path& out, const std::string& threads, std::uint64_t expect,
                            bool slowly) {
        const auto list = dir / (out.stem().string() + ".list");
        WriteFile(list, "");
        std::thread lister([&] {
            for (std::size_t i = 0; i < frames.size(); ++i) {
                if (slowly)
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                std::ofstream(list, std::ios::app)
                    << (i == 1 ? "0:\t" : "\t") << (dir / Numbered("in", i, ".wav")).string()
                    << '\n';
            }
        });
        auto r = RunTool({Encoder, "-threads", threads, "-cbr", "128000", "-await", list.string(),
                          "-expect", "3:" + std::to_string(expect), "-of", out.string()});
        lister.join();
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return ReadFile(out);
    };
    const std::string atOnce = encode(dir / "at-once.m4a", "2", total, false);
    // Compared whole, not printed: they are megabytes.
    EXPECT_TRUE(encode(dir / "slowly.m4a", "2", total, true) == atOnce);
    std::vector<std::string> serial = {Encoder, "-threads", "1", "-cbr", "128000"};
    serial.insert(serial.end(), direct.begin(), direct.end());
    serial.insert(serial.end(), {"-of", (dir / "serial.m4a").string()});
    ASSERT_EQ(RunTool(serial).ExitCode, 0);
    EXPECT_TRUE(encode(dir / "one-thread.m4a", "1", total, true) == ReadFile(dir / "serial.m4a"));
    encode(dir / "fewer.m4a", "2", total * 3 / 2, true);
    EXPECT_TRUE(encode(dir / "more.m4a", "2", total / 2, false) ==
                encode(dir / "more-slowly.m4a", "2", total / 2, true));
    for (const char* name : {"at-once.m4a", "fewer.m4a", "more.m4a"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Probe(dir / name, "stream=duration_ts")["duration_ts"], std::to_string(total));
        const auto chapters = Chapters(dir / name);
        ASSERT_EQ(chapters.size(), 3u);
        EXPECT_NEAR(chapters[1].Start, static_cast<double>(frames[0]) / 44100, 0.0005);
        EXPECT_NEAR(chapters[2].Start, static_cast<double>(frames[0] + frames[1]) / 44100, 0.0005);
    }

    // A listed input that cannot join, a line that is no entry, an announcement missing.
    TWavSpec other;
    other.Rate = 48000;
    WriteWav(dir / "rate.wav", other, 4800);
    const auto before = dir.Names();
    const auto entry = [](char tab, const fs::path& path) {
        std::string line(1, tab);
        return line.append(path.string()).append("\n");
    };
    for (const auto& [second, reason] :
         {std::pair{entry('\t', dir / "rate.wav"), "all inputs must match"},
          std::pair{entry(' ', dir / "rate.wav"), "is not a range, a tab and a path"}}) {
        WriteFile(dir / "bad.list", entry('\t', dir / "in0.wav") + second);
        auto r = RunTool({Encoder, "-await", (dir / "bad.list").string(), "-expect", "2:100000",
                          "-of", (dir / "bad.m4a").string()});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find(reason), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(dir / "bad.m4a"));
    }
    fs::remove(dir / "bad.list");
    EXPECT_EQ(dir.Names(), before);
    EXPECT_EQ(
        RunTool({Encoder, "-await", (dir / "bad.list").string(), "-of", (dir / "bad.m4a").string()})
            .ExitCode,
        2);
}
