#include "InputSequence.h"

#include "common/ToolText.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr long ReadFrames = 1 << 14;

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

bool SameFormat(const TWavFormat& a, const TWavFormat& b) {
    return a.Channels == b.Channels && a.SampleRate == b.SampleRate &&
           a.BitsPerSample == b.BitsPerSample && a.Float == b.Float;
}

} // namespace

TInputSequence::TInputSequence(std::vector<TInputFile> files) : Files(std::move(files)) {}

TInputSequence::~TInputSequence() {
    swr_free(&Converter);
}

bool TInputSequence::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

std::string TInputSequence::Which(std::size_t index) const {
    return "input " + std::to_string(index + 1) + " (" +
           tooltext::ShortPath(Files[index].Path, 100) + ")";
}

bool TInputSequence::Scan() {
    for (std::size_t i = 0; i < Files.size(); ++i) {
        TWavReader reader;
        if (!reader.Open(Files[i].Path))
            return Fail(Which(i) + ": " + reader.Error());
        const auto& fmt = reader.Format();
        if (i > 0 && (fmt.Channels != Channels() || fmt.SampleRate != SampleRate()))
            return Fail(Which(i) + " has " + std::to_string(fmt.SampleRate) + " Hz and " +
                        std::to_string(fmt.Channels) + " channels, input 1 has " +
                        std::to_string(SampleRate()) + " Hz and " + std::to_string(Channels()) +
                        "; all inputs must match");
        const TInputFile& file = Files[i];
        const std::uint64_t end = file.End.value_or(reader.Frames());
        if (file.First > end || end > reader.Frames())
            return Fail(Which(i) + " holds " + std::to_string(reader.Frames()) +
                        " samples; the part asked for, " + std::to_string(file.First) + " to " +
                        std::to_string(end) + ", is not within them");
        List.push_back({file.Path, fmt, end - file.First});
        AllNarrow = AllNarrow && !fmt.Float && fmt.BitsPerSample <= 16;
        Total += end - file.First;
    }
    return true;
}

bool TInputSequence::OpenNext() {
    const std::size_t i = Next++;
    Current = std::make_unique<TWavReader>();
    if (!Current->Open(Files[i].Path))
        return Fail(Which(i) + ": " + Current->Error());
    const auto& fmt = Current->Format();
    if (!SameFormat(fmt, List[i].Format) || !Current->Window(Files[i].First, List[i].Frames))
        return Fail(Which(i) + " changed while the inputs were being read");
    swr_free(&Converter);
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, fmt.Channels);
    int ret = swr_alloc_set_opts2(
        &Converter, &layout, AllNarrow ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_FLTP, fmt.SampleRate,
        &layout, PackedFormat(fmt), fmt.SampleRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (ret < 0 || swr_init(Converter) < 0)
        return Fail("cannot convert the samples of " + fmt.Describe());
    Buffer.resize(static_cast<std::size_t>(ReadFrames) *
                  static_cast<std::size_t>(av_get_bytes_per_sample(PackedFormat(fmt))) *
                  static_cast<std::size_t>(fmt.Channels));
    return true;
}

bool TInputSequence::Read(TSampleStore& store, std::int64_t count) {
    while (count > 0) {
        if (!Current) {
            if (Next >= Files.size())
                return true;
            if (!OpenNext())
                return false;
        }
        const auto& fmt = Current->Format();
        const long got = Current->Read(Buffer.data(), std::min<std::int64_t>(count, ReadFrames));
        if (got < 0)
            return Fail(Which(Next - 1) + ": " + Current->Error());
        if (got == 0) {
            Current.reset();
            continue;
        }
        if (fmt.BitsPerSample == 24 && !fmt.Float)
            Widen24(Buffer.data(), got * fmt.Channels);
        std::uint8_t* out[AV_NUM_DATA_POINTERS] = {};
        store.Extend(got, out);
        const std::uint8_t* in = Buffer.data();
        if (swr_convert(Converter, out, static_cast<int>(got), &in, static_cast<int>(got)) != got)
            return Fail("sample conversion failed");
        count -= got;
    }
    return true;
}
