#include "AacEncoder.h"

#include "CpuCount.h"
#include "EncoderPool.h"
#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/FdIo.h"
#include "common/OutputFile.h"
#include "common/ProgressLine.h"
#include "common/ToolText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

const std::string Tool = "neroAacEnc";
// Inputs listed one per line before the encode; the rest are counted.
constexpr std::size_t ListedInputs = 10;
// The Nero chapter list counts its entries in one byte.
constexpr std::size_t MaxChplChapters = 255;
// How often the progress line is brought up to date while this thread waits for a segment.
constexpr std::chrono::milliseconds ProgressInterval(100);
// How often the list of inputs is read again while inputs are still to come.
constexpr std::chrono::milliseconds AwaitInterval(20);
// The packets of the segments in flight, whatever the thread count, the channels or the rate:
// the samples are read by the workers, so what a segment holds is its share of the output.
constexpr std::int64_t PacketBudget = std::int64_t{96} << 20;
// What a kept packet costs besides its bytes.
constexpr std::int64_t PacketOverhead = 64;

// Seconds to the millisecond, whatever the locale.
std::string Millis(double seconds) {
    char text[32];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3);
    return ec == std::errc() ? std::string(text, end) : "?";
}

} // namespace

TAacEncoder::TAacEncoder(const TEncoderOptions& options)
    : Options(options),
      Inputs(options.AwaitList.empty() ? TInputSequence(options.Inputs)
                                       : TInputSequence(options.AwaitList, options.AwaitCount)) {}

TAacEncoder::~TAacEncoder() {
    if (Muxer) {
        Muxer->pb = nullptr;
        avformat_free_context(Muxer);
    }
}

bool TAacEncoder::Fail(const std::string& reason, int code) {
    Err = TAvLog::Reason(reason, code);
    return false;
}

std::size_t TAacEncoder::SegmentsInFlight() const {
    std::int64_t longest = 0;
    for (const auto& b : Plan)
        longest = std::max(longest, b.End - b.Start);
    const std::int64_t frames = longest / TSegmentPlan::FrameSamples + 1;
    // A segment's packets at the average bitrate the encoder holds, which AAC caps at 6144
    // bits a channel and frame.
    const std::int64_t frameBytes = std::min<std::int64_t>(
        Setup.Bitrate * TSegmentPlan::FrameSamples / Setup.SampleRate / 8, 768 * Setup.Channels);
    const std::int64_t bytes = frames * (frameBytes + PacketOverhead);
    const std::int64_t fit =
        std::max<std::int64_t>(1, PacketBudget / std::max<std::int64_t>(bytes, 1));
    return static_cast<std::size_t>(std::min<std::int64_t>(fit, PlanThreads));
}

int TAacEncoder::ThreadCount() const {
    // More workers than segments in flight would only wait.
    return static_cast<int>(std::min(Plan.size(), SegmentsInFlight()));
}

void TAacEncoder::PrintPlan() const {
    const int rate = Setup.SampleRate;
    const auto seconds = [rate](std::uint64_t frames) {
        return tooltext::OneDecimal(static_cast<double>(frames) / rate) + " s";
    };
    const auto& inputs = Inputs.Inputs();
    for (std::size_t i = 0; i < inputs.size() && i < ListedInputs; ++i)
        tooltext::Line("Input " + std::to_string(i + 1) + ": " +
                       tooltext::ShortPath(inputs[i].Path) + " (" + inputs[i].Format.Describe() +
                       ", " + seconds(inputs[i].Frames) + ")");
    if (inputs.size() > ListedInputs)
        tooltext::Line("... and " + std::to_string(inputs.size() - ListedInputs) + " more inputs");
    if (!Inputs.Complete())
        tooltext::Line("... and " + std::to_string(Inputs.Expected() - inputs.size()) +
                       " more inputs to come");
    // After the fifth line no line's second token is a whole number: the job reads that token of
    // the last line as the seconds done.
    tooltext::Line("Output file: " + tooltext::ShortPath(Options.Output));
    tooltext::Line("Mode: " + Options.Describe(Setup.Channels, rate));
    const std::size_t chapters = Inputs.Expected() > 1 ? Inputs.Expected() : 0;
    tooltext::Line("Audio format: " + std::to_string(rate) + " Hz, " +
                   std::to_string(Setup.Channels) + " channels, " +
                   (Inputs.Complete() ? seconds(Inputs.TotalFrames()) + " in all, "
                                      : "about " + seconds(PlannedFrames) + " in all, ") +
                   std::to_string(chapters) + " chapters");
    const int threads = ThreadCount();
    tooltext::Line((Plan.size() == 1 ? "Encoding as " : "Encoding in ") +
                   std::to_string(Plan.size()) + (Plan.size() == 1 ? " segment" : " segments") +
                   " on " + std::to_string(threads) +
                   (threads == 1 ? " thread..." : " threads..."));
}

bool TAacEncoder::OpenMuxer(TFdIo& io, const TSegmentEncoder& probe) {
    const std::string& out = Options.Output;
    int ret = avformat_alloc_output_context2(
        &Muxer, nullptr, tooltext::EndsWithNoCase(out, ".m4a") ? "ipod" : "mp4", nullptr);
    if (ret < 0)
        return Fail("cannot start the MP4 writer", ret);
    Muxer->pb = io.Context();
    Muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Left at its default, the writer empties its buffer after every packet.
    Muxer->flush_packets = 0;
    Stream = avformat_new_stream(Muxer, nullptr);
    Packet.reset(av_packet_alloc());
    if (!Stream || !Packet ||
        avcodec_parameters_from_context(Stream->codecpar, probe.Context()) < 0)
        return Fail("out of memory");
    Stream->time_base = AVRational{1, Setup.SampleRate};

    // Chapter starts are sample counts in the sample rate's own time base, so nothing rounds
    // until the muxer writes each start on its own.
    const auto& inputs = Inputs.Inputs();
    if (inputs.size() > 1) {
        Muxer->chapters = static_cast<AVChapter**>(av_calloc(inputs.size(), sizeof(AVChapter*)));
        if (!Muxer->chapters)
            return Fail("out of memory");
        std::int64_t start = 0;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (!chapter)
                return Fail("out of memory");
            Muxer->chapters[Muxer->nb_chapters++] = chapter;
            chapter->id = static_cast<std::int64_t>(i + 1);
            chapter->time_base = AVRational{1, Setup.SampleRate};
            chapter->start = start;
            start += static_cast<std::int64_t>(inputs[i].Frames);
            chapter->end = start;
            av_dict_set(&chapter->metadata, "title", ("Chapter " + std::to_string(i + 1)).c_str(),
                        0);
        }
    }
    AVDictionary* options = nullptr;
    if (Muxer->nb_chapters > MaxChplChapters)
        av_dict_set(&options, "movflags", "disable_chpl", 0);
    // The edit list's length is written in the movie time scale; the sample rate holds it
    // exactly, where milliseconds would round away up to half of one.
    av_dict_set_int(&options, "movie_timescale", Setup.SampleRate, 0);
    ret = avformat_write_header(Muxer, &options);
    av_dict_free(&options);
    if (ret < 0)
        return Fail("cannot write the MP4 header: " + io.Error(ret));
    return true;
}

bool TAacEncoder::Splice(TSegment& segment) {
    const auto read = [this](const std::vector<std::uint8_t>& frame,
                             std::vector<TAacWindow::TChannel>& channels) {
        return TAacWindow::Read(frame.data(), frame.size(), Setup.SampleRate, channels) ||
               Fail("the encoder wrote a frame whose windows cannot be read");
    };
    if (segment.Index > 0 && Options.CheckSplices) {
        for (;;) {
            std::vector<TAacWindow::TChannel> next, lead;
            if (!read(segment.Packets.front().Data, next) || !read(segment.Lead, lead))
                return false;
            if (TAacWindow::Replaces(Previous, lead, next))
                break;
            // A segment whose encoder had not settled yet: again, with more pre-roll.
            if (segment.PreRollUsed >= Options.MaxPreRoll)
                return Fail("the segments encoded in parallel do not join at " +
                            tooltext::OneDecimal(static_cast<double>(segment.Bounds.Start) /
                                                 Setup.SampleRate) +
                            " s");
            ++RetryCount;
            const int more = std::min(Options.MaxPreRoll,
                                      segment.PreRollUsed + std::max(1, Options.PreRoll / 4));
            TSegmentEncoder encoder(Setup, Inputs);
            if (!encoder.Encode(segment, more, nullptr))
                return Fail(segment.Error);
        }
    }
    return read(segment.Packets.back().Data, Previous);
}

bool TAacEncoder::Write(const TSegment& segment) {
    for (const TAacPacket& p : segment.Packets) {
        av_packet_unref(Packet.get());
        int ret = av_new_packet(Packet.get(), static_cast<int>(p.Data.size()));
        if (ret < 0)
            return Fail("out of memory", ret);
        std::memcpy(Packet->data, p.Data.data(), p.Data.size());
        Packet->pts = Packet->dts = p.Pts;
        Packet->duration = p.Duration;
        Packet->stream_index = Stream->index;
        av_packet_rescale_ts(Packet.get(), AVRational{1, Setup.SampleRate}, Stream->time_base);
        PacketBytes += p.Data.size();
        if ((ret = av_write_frame(Muxer, Packet.get())) < 0)
            return Fail("cannot write the output: " + Io->Error(ret));
    }
    return true;
}

void TAacEncoder::ShowProgress(TProgressLine& progress) {
    // Every whole second in turn, as a serial encode shows them, however far the workers got.
    const std::int64_t seconds = SamplesDone.load() / Setup.SampleRate;
    while (ShownSeconds < seconds)
        progress.Show("Processed " + std::to_string(++ShownSeconds) + " seconds...");
}

bool TAacEncoder::Ready(std::size_t index) const {
    // A cut the inputs have passed stays whatever the rest hold.
    return PlanFitted ||
           (index + 1 < Plan.size() &&
            static_cast<std::int64_t>(Inputs.TotalFrames()) >=
                Plan[index].End + TSegmentPlan::PostRollFrames * TSegmentPlan::FrameSamples);
}

bool TAacEncoder::Await() {
    if (PlanFitted)
        return true;
    if (!Inputs.Complete() && !Inputs.Scan())
        return Fail(Inputs.Error());
    if (!Inputs.Complete())
        return true;
    PlanFitted = true;
    // The stream's true end, when the inputs held less than expected: the cuts at or past it go
    // (none was handed out, Ready holds back those the inputs had not passed), and the last
    // segment ends there.
    const auto total = static_cast<std::int64_t>(Inputs.TotalFrames());
    if (total == 0)
        return Fail("the inputs hold no audio");
    while (Plan.size() > 1 && Plan.back().Start >= total)
        Plan.pop_back();
    Plan.back().End = total;
    return true;
}

bool TAacEncoder::Encode(TProgressLine& progress, const TSegmentEncoder& probe) {
    // As many segments in flight as workers, within the memory budget.
    const int threads = ThreadCount();
    const auto inFlight = static_cast<std::size_t>(threads);
    const auto started = std::chrono::steady_clock::now();
    TEncoderPool pool(Setup, Inputs, SamplesDone);
    if (!pool.Start(threads))
        return Fail(pool.Error());
    std::size_t next = 0;
    // Hands out every segment whose samples are there, as many as the workers take.
    const auto feed = [&] {
        if (!Await())
            return false;
        while (next < Plan.size() && InFlight.size() < inFlight && Ready(next)) {
            auto segment = std::make_unique<TSegment>();
            segment->Index = next;
            segment->Bounds = Plan[next];
            segment->Last = next + 1 == Plan.size();
            pool.Submit(*segment, Options.PreRoll);
            InFlight.push_back(std::move(segment));
            ++next;
        }
        return true;
    };
    // Feeds until done() holds, looking at the list again every AwaitInterval.
    const auto waitFor = [&](const auto& done) {
        for (;;) {
            if (!feed())
                return false;
            if (done())
                return true;
            std::this_thread::sleep_for(AwaitInterval);
            ShowProgress(progress);
        }
    };
    const auto interval = [this] { return PlanFitted ? ProgressInterval : AwaitInterval; };
    for (std::size_t written = 0; written < Plan.size(); ++written) {
        if (!waitFor([this] { return !InFlight.empty(); }))
            return false;
        TSegment& segment = *InFlight.front();
        while (!pool.WaitFinished(segment, interval())) {
            ShowProgress(progress);
            if (!feed())
                return false;
        }
        // The workers' part ends as the last segment is handed back.
        EncodeSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ShowProgress(progress);
        if (!segment.Error.empty())
            return Fail(segment.Error);
        // The chapters need every input's length.
        if (!Muxer && !(waitFor([this] { return PlanFitted; }) && OpenMuxer(*Io, probe)))
            return false;
        if (!Splice(segment) || !Write(segment))
            return false;
        InFlight.pop_front();
    }
    WorkerTimes = pool.Times();
    return true;
}

void TAacEncoder::PrintTiming() const {
    // One line the benchmarks and tests read; its second token is never a whole number.
    std::string busy, cpu;
    for (const auto& t : WorkerTimes) {
        if (!busy.empty()) {
            busy.push_back(',');
            cpu.push_back(',');
        }
        busy.append(Millis(t.Busy));
        cpu.append(Millis(t.Cpu));
    }
    std::string starts;
    for (const auto& b : Plan) {
        if (!starts.empty())
            starts.push_back(',');
        starts.append(std::to_string(b.Start));
    }
    tooltext::Line("Timing: wall=" + Millis(EncodeSeconds) + " busy=" + busy + " cpu=" + cpu +
                   " segments=" + std::to_string(Plan.size()) + " starts=" + starts);
}

int TAacEncoder::Run() {
    TAvLog::Install();
    tooltext::Line("neroAacEnc: AAC-LC encoder writing MP4 (Parvane, FFmpeg libavcodec " +
                   avhelpers::VersionText(avcodec_version()) + ")");
    struct stat st {};
    if (lstat(Options.Output.c_str(), &st) == 0)
        return tooltext::Error(Tool,
                               tooltext::ShortPath(Options.Output) + " exists; it is not replaced");
    // The first input sets the format; the ones to come must match it.
    while (Inputs.Scan() && Inputs.Inputs().empty() && !Inputs.Complete())
        std::this_thread::sleep_for(AwaitInterval);
    if (!Inputs.Error().empty())
        return tooltext::Error(Tool, Inputs.Error());
    // Awaited inputs are cut for the length announced even when all are there at once.
    PlannedFrames = Options.AwaitList.empty() ? static_cast<std::int64_t>(Inputs.TotalFrames())
                                              : Options.ExpectedFrames;
    if (PlannedFrames == 0)
        return tooltext::Error(Tool, "the inputs hold no audio");
    Setup.Channels = Inputs.Channels();
    Setup.SampleRate = Inputs.SampleRate();
    Setup.Bitrate = Options.TargetBitrate(Setup.Channels, Setup.SampleRate);
    TSegmentEncoder probe(Setup, Inputs);
    if (!probe.Open())
        return tooltext::Error(Tool, probe.Error());
    PlanThreads = Options.Threads > 0 ? Options.Threads : TCpuCount::Available();
    TFrameCosts costs;
    std::string costError;
    // Inputs still to come cannot be looked at, and a look at those there would make the cuts
    // depend on how fast they came: awaited, the stream is cut by its length alone.
    if (PlanThreads > 1 && Options.AwaitList.empty() &&
        !TFrameCosts::Measure(Inputs, costs, costError))
        return tooltext::Error(Tool, costError);
    Plan = TSegmentPlan::Cut(PlannedFrames, PlanThreads, costs);
    PrintPlan();

    TOutputFile out(Options.Output);
    if (!out.Create())
        return tooltext::Error(Tool, out.Error());
    TFdIo io(out.Fd());
    if (!io.Context())
        return tooltext::Error(Tool, "out of memory");
    TProgressLine progress;
    progress.Show("Processed 0 seconds...");
    ShownSeconds = 0;
    Io = &io;
    bool ok = false;
    try {
        ok = Encode(progress, probe);
    } catch (const std::bad_alloc&) {
        ok = Fail("out of memory");
    }
    int ret = 0;
    if (ok && (ret = av_write_trailer(Muxer)) < 0)
        ok = Fail("cannot finish the output: " + io.Error(ret));
    if (ok && !io.Flush())
        ok = Fail("cannot write the output: " + io.Error());
    if (ok)
        ShowProgress(progress);
    progress.Finish();
    if (!ok) {
        out.Discard();
        return tooltext::Error(Tool, Err);
    }
    if (!out.CommitNew(true))
        return tooltext::Error(Tool, out.Error());
    const double seconds = static_cast<double>(Inputs.TotalFrames()) / Setup.SampleRate;
    tooltext::Line("Done: " + tooltext::OneDecimal(seconds) + " s of audio, average " +
                   std::to_string(seconds > 0 ? std::llround(PacketBytes * 8 / seconds) : 0) +
                   " bit/s");
    if (Options.ShowTiming)
        PrintTiming();
    return 0;
}
