#include "AacEncoder.h"

#include "common/AvLog.h"
#include "common/FdIo.h"
#include "common/OutputFile.h"
#include "common/ProgressLine.h"
#include "common/ToolText.h"

#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {

const std::string Tool = "neroAacEnc";
constexpr long ReadFrames = 1 << 14;
// Inputs listed one per line before the encode; the rest are counted.
constexpr std::size_t ListedInputs = 10;
// The Nero chapter list counts its entries in one byte.
constexpr std::size_t MaxChplChapters = 255;

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

std::string VersionText(unsigned v) {
    return std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xFF) + "." +
           std::to_string(v & 0xFF);
}

AVSampleFormat PackedFormat(const TWavFormat& fmt) {
    if (fmt.Float)
        return fmt.BitsPerSample == 64 ? AV_SAMPLE_FMT_DBL : AV_SAMPLE_FMT_FLT;
    switch (fmt.BitsPerSample) {
    case 8:
        return AV_SAMPLE_FMT_U8;
    case 16:
        return AV_SAMPLE_FMT_S16;
    default:
        return AV_SAMPLE_FMT_S32; // 24-bit samples are widened first
    }
}

// Packed 24-bit samples become the upper three bytes of 32-bit ones, in place from the back.
void Widen24(std::uint8_t* data, long samples) {
    for (long i = samples - 1; i >= 0; --i) {
        const std::uint8_t* in = data + 3 * i;
        std::uint8_t* out = data + 4 * i;
        const std::uint8_t b0 = in[0], b1 = in[1], b2 = in[2];
        out[0] = 0;
        out[1] = b0;
        out[2] = b1;
        out[3] = b2;
    }
}

bool ChooseLayout(const AVCodec* codec, int channels, AVChannelLayout& layout) {
    av_channel_layout_default(&layout, channels);
    if (!codec->ch_layouts)
        return true;
    const AVChannelLayout* fallback = nullptr;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
        if (av_channel_layout_compare(l, &layout) == 0)
            return true;
        if (l->nb_channels == channels && !fallback)
            fallback = l;
    }
    return fallback && av_channel_layout_copy(&layout, fallback) == 0;
}

} // namespace

TAacEncoder::TAacEncoder(const TEncoderOptions& options) : Options(options) {}

TAacEncoder::~TAacEncoder() {
    swr_free(&Converter);
    av_packet_free(&Packet);
    av_frame_free(&Frame);
    avcodec_free_context(&Encoder);
    if (Muxer) {
        Muxer->pb = nullptr;
        avformat_free_context(Muxer);
    }
}

bool TAacEncoder::Fail(const std::string& reason, int code) {
    Err = reason;
    if (code < 0)
        Err += ": " + AvErrorText(code);
    return false;
}

bool TAacEncoder::OpenInputs() {
    for (std::size_t i = 0; i < Options.Inputs.size(); ++i) {
        const std::string& path = Options.Inputs[i];
        const std::string which =
            "input " + std::to_string(i + 1) + " (" + tooltext::ShortPath(path, 100) + ")";
        auto reader = std::make_unique<TWavReader>();
        if (!reader->Open(path))
            return Fail(which + ": " + reader->Error());
        const auto& fmt = reader->Format();
        if (i == 0) {
            Channels = fmt.Channels;
            SampleRate = fmt.SampleRate;
        } else if (fmt.Channels != Channels || fmt.SampleRate != SampleRate) {
            return Fail(which + " has " + std::to_string(fmt.SampleRate) + " Hz and " +
                        std::to_string(fmt.Channels) + " channels, input 1 has " +
                        std::to_string(SampleRate) + " Hz and " + std::to_string(Channels) +
                        "; all inputs must match");
        }
        TotalFrames += reader->Frames();
        Readers.push_back(std::move(reader));
    }
    return true;
}

void TAacEncoder::PrintPlan() const {
    const auto seconds = [this](std::uint64_t frames) {
        return tooltext::OneDecimal(static_cast<double>(frames) / SampleRate) + " s";
    };
    for (std::size_t i = 0; i < Readers.size() && i < ListedInputs; ++i) {
        const auto& fmt = Readers[i]->Format();
        tooltext::Line("Input " + std::to_string(i + 1) + ": " +
                       tooltext::ShortPath(Options.Inputs[i]) + " (" + fmt.Describe() + ", " +
                       seconds(Readers[i]->Frames()) + ")");
    }
    if (Readers.size() > ListedInputs)
        tooltext::Line("... and " + std::to_string(Readers.size() - ListedInputs) + " more inputs");
    tooltext::Line("Output: " + tooltext::ShortPath(Options.Output));
    tooltext::Line("Mode: " + Options.Describe(Channels, SampleRate));
    const std::size_t chapters = Readers.size() > 1 ? Readers.size() : 0;
    tooltext::Line("Audio: " + std::to_string(SampleRate) + " Hz, " + std::to_string(Channels) +
                   " channels, " + seconds(TotalFrames) + " in all, " + std::to_string(chapters) +
                   " chapters");
    tooltext::Line("Encoding...");
}

bool TAacEncoder::OpenEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return Fail("libavcodec has no AAC encoder");
    bool rateOk = !codec->supported_samplerates;
    for (const int* r = codec->supported_samplerates; r && *r; ++r)
        rateOk = rateOk || *r == SampleRate;
    if (!rateOk)
        return Fail("AAC cannot carry a sample rate of " + std::to_string(SampleRate) + " Hz");
    AVChannelLayout layout{};
    if (!ChooseLayout(codec, Channels, layout))
        return Fail("AAC encoding of " + std::to_string(Channels) + " channels is not offered");
    Encoder = avcodec_alloc_context3(codec);
    Frame = av_frame_alloc();
    Packet = av_packet_alloc();
    if (!Encoder || !Frame || !Packet)
        return Fail("out of memory");
    Encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    Encoder->sample_rate = SampleRate;
    av_channel_layout_copy(&Encoder->ch_layout, &layout);
    av_channel_layout_uninit(&layout);
    Encoder->bit_rate = Bitrate;
    Encoder->profile = FF_PROFILE_AAC_LOW;
    Encoder->time_base = AVRational{1, SampleRate};
    Encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(Encoder, codec, nullptr);
    if (ret < 0)
        return Fail("cannot start the AAC encoder", ret);
    Frame->format = Encoder->sample_fmt;
    Frame->nb_samples = Encoder->frame_size;
    Frame->sample_rate = SampleRate;
    av_channel_layout_copy(&Frame->ch_layout, &Encoder->ch_layout);
    if ((ret = av_frame_get_buffer(Frame, 0)) < 0)
        return Fail("out of memory", ret);
    return true;
}

bool TAacEncoder::OpenMuxer(TFdIo& io) {
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
    if (!Stream || avcodec_parameters_from_context(Stream->codecpar, Encoder) < 0)
        return Fail("out of memory");
    Stream->time_base = Encoder->time_base;

    // Chapter starts are sample counts in the sample rate's own time base, so nothing rounds
    // until the muxer writes each start on its own.
    if (Readers.size() > 1) {
        Muxer->chapters = static_cast<AVChapter**>(av_calloc(Readers.size(), sizeof(AVChapter*)));
        if (!Muxer->chapters)
            return Fail("out of memory");
        std::int64_t start = 0;
        for (std::size_t i = 0; i < Readers.size(); ++i) {
            auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (!chapter)
                return Fail("out of memory");
            Muxer->chapters[Muxer->nb_chapters++] = chapter;
            chapter->id = static_cast<std::int64_t>(i + 1);
            chapter->time_base = AVRational{1, SampleRate};
            chapter->start = start;
            start += static_cast<std::int64_t>(Readers[i]->Frames());
            chapter->end = start;
            av_dict_set(&chapter->metadata, "title", ("Chapter " + std::to_string(i + 1)).c_str(),
                        0);
        }
    }
    AVDictionary* options = nullptr;
    if (Muxer->nb_chapters > MaxChplChapters)
        av_dict_set(&options, "movflags", "disable_chpl", 0);
    ret = avformat_write_header(Muxer, &options);
    av_dict_free(&options);
    if (ret < 0)
        return Fail("cannot write the MP4 header: " + io.Error(ret));
    return true;
}

bool TAacEncoder::SendFrame(const AVFrame* frame) {
    int ret = avcodec_send_frame(Encoder, frame);
    if (ret < 0)
        return Fail("encoding failed", ret);
    for (;;) {
        ret = avcodec_receive_packet(Encoder, Packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            return Fail("encoding failed", ret);
        PacketBytes += static_cast<std::uint64_t>(Packet->size);
        av_packet_rescale_ts(Packet, Encoder->time_base, Stream->time_base);
        Packet->stream_index = Stream->index;
        if ((ret = av_interleaved_write_frame(Muxer, Packet)) < 0)
            return Fail("cannot write the output: " + Io->Error(ret));
    }
}

bool TAacEncoder::EncodeInput(TWavReader& reader, TProgressLine& progress) {
    const auto& fmt = reader.Format();
    const AVSampleFormat inFormat = PackedFormat(fmt);
    swr_free(&Converter);
    int ret = swr_alloc_set_opts2(&Converter, &Encoder->ch_layout, AV_SAMPLE_FMT_FLTP, SampleRate,
                                  &Encoder->ch_layout, inFormat, SampleRate, 0, nullptr);
    if (ret < 0 || (ret = swr_init(Converter)) < 0)
        return Fail("cannot convert the samples of " + fmt.Describe(), ret);
    const int inBytes = av_get_bytes_per_sample(inFormat) * Channels;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(ReadFrames) * inBytes);
    for (;;) {
        const long got = reader.Read(buffer.data(), ReadFrames);
        if (got < 0)
            return Fail(reader.Error());
        if (got == 0)
            return true;
        if (fmt.BitsPerSample == 24 && !fmt.Float)
            Widen24(buffer.data(), got * Channels);
        long used = 0;
        while (used < got) {
            if (Filled == 0 && (ret = av_frame_make_writable(Frame)) < 0)
                return Fail("out of memory", ret);
            const int n = static_cast<int>(std::min<long>(Frame->nb_samples - Filled, got - used));
            std::uint8_t* out[AV_NUM_DATA_POINTERS] = {};
            for (int c = 0; c < Channels; ++c)
                out[c] = Frame->extended_data[c] + static_cast<std::size_t>(Filled) * 4;
            const std::uint8_t* in = buffer.data() + static_cast<std::size_t>(used) * inBytes;
            if (swr_convert(Converter, out, n, &in, n) != n)
                return Fail("sample conversion failed");
            Filled += n;
            used += n;
            if (Filled == Frame->nb_samples) {
                Frame->pts = SamplesSent;
                SamplesSent += Filled;
                Filled = 0;
                if (!SendFrame(Frame))
                    return false;
                const std::int64_t seconds = SamplesSent / SampleRate;
                if (seconds != ShownSeconds) {
                    ShownSeconds = seconds;
                    progress.Show("Processed " + std::to_string(seconds) + " seconds...");
                }
            }
        }
    }
}

int TAacEncoder::Run() {
    TAvLog::Install();
    tooltext::Line("neroAacEnc: AAC-LC encoder writing MP4 (Parvane, FFmpeg libavcodec " +
                   VersionText(avcodec_version()) + ")");
    struct stat st {};
    if (lstat(Options.Output.c_str(), &st) == 0)
        return tooltext::Error(Tool,
                               tooltext::ShortPath(Options.Output) + " exists; it is not replaced");
    if (!OpenInputs())
        return tooltext::Error(Tool, Err);
    if (TotalFrames == 0)
        return tooltext::Error(Tool, "the inputs hold no audio");
    Bitrate = Options.TargetBitrate(Channels, SampleRate);
    if (!OpenEncoder())
        return tooltext::Error(Tool, Err);
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
    bool ok = OpenMuxer(io);
    for (auto& reader : Readers)
        ok = ok && EncodeInput(*reader, progress);
    if (ok && Filled > 0) {
        // The last frame may be short; the encoder records how many of its samples are real.
        Frame->nb_samples = Filled;
        Frame->pts = SamplesSent;
        SamplesSent += Filled;
        ok = SendFrame(Frame);
    }
    ok = ok && SendFrame(nullptr);
    int ret = 0;
    if (ok && (ret = av_write_trailer(Muxer)) < 0)
        ok = Fail("cannot finish the output: " + io.Error(ret));
    if (ok && !io.Flush())
        ok = Fail("cannot write the output: " + io.Error());
    if (SamplesSent / SampleRate != ShownSeconds)
        progress.Show("Processed " + std::to_string(SamplesSent / SampleRate) + " seconds...");
    progress.Finish();
    if (!ok) {
        out.Discard();
        return tooltext::Error(Tool, Err);
    }
    if (!out.CommitNew(true))
        return tooltext::Error(Tool, out.Error());
    const double seconds = static_cast<double>(SamplesSent) / SampleRate;
    tooltext::Line("Done: " + tooltext::OneDecimal(seconds) + " s of audio, average " +
                   std::to_string(seconds > 0 ? std::llround(PacketBytes * 8 / seconds) : 0) +
                   " bit/s");
    return 0;
}
