#include "InputReader.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr long ReadFrames = 1 << 12;

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

TInputReader::TInputReader(const TInputSequence& inputs) : Inputs(inputs) {}

TInputReader::~TInputReader() {
    swr_free(&Converter);
}

bool TInputReader::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

bool TInputReader::Open(std::size_t index, std::uint64_t offset) {
    const auto& input = Inputs.Inputs()[index];
    Index = index;
    // The converter and the buffer outlive the file: every input has the first one's layout
    // but for its sample width.
    const bool sameWidth = Current && SameFormat(Current->Format(), input.Format);
    Current = std::make_unique<TWavReader>();
    if (!Current->Open(input.Path))
        return Fail(Inputs.Which(index) + ": " + Current->Error());
    const auto& fmt = Current->Format();
    if (!SameFormat(fmt, input.Format) ||
        !Current->Window(input.First + offset, input.Frames - offset))
        return Fail(Inputs.Which(index) + " changed while the inputs were being read");
    if (sameWidth && Converter)
        return true;
    swr_free(&Converter);
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, fmt.Channels);
    const int ret = swr_alloc_set_opts2(&Converter, &layout, AV_SAMPLE_FMT_FLTP, fmt.SampleRate,
                                        &layout, PackedFormat(fmt), fmt.SampleRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (ret < 0 || swr_init(Converter) < 0)
        return Fail("cannot convert the samples of " + fmt.Describe());
    Buffer.resize(static_cast<std::size_t>(ReadFrames) *
                  static_cast<std::size_t>(av_get_bytes_per_sample(PackedFormat(fmt))) *
                  static_cast<std::size_t>(fmt.Channels));
    return true;
}

bool TInputReader::Seek(std::uint64_t first) {
    const auto& list = Inputs.Inputs();
    // The last input that starts at or before it; empty parts are stepped over by Read.
    const auto it = std::upper_bound(list.begin(), list.end(), first,
                                     [](std::uint64_t f, const auto& in) { return f < in.Start; });
    if (it == list.begin() || first > Inputs.TotalFrames())
        return Fail("a read past the end of the inputs");
    const auto index = static_cast<std::size_t>(it - list.begin() - 1);
    const std::uint64_t offset = std::min(first - list[index].Start, list[index].Frames);
    // Within the input open, a seek moves the window alone.
    if (Current && index == Index)
        return Current->Window(list[index].First + offset, list[index].Frames - offset) ||
               Fail(Inputs.Which(index) + " changed while the inputs were being read");
    return Open(index, offset);
}

bool TInputReader::Read(float* const* planes, int count) {
    const int channels = Inputs.Channels();
    int done = 0;
    while (done < count) {
        if (!Current)
            return Fail("a read before a seek");
        const auto& fmt = Current->Format();
        const long got = Current->Read(Buffer.data(), std::min<long>(count - done, ReadFrames));
        if (got < 0)
            return Fail(Inputs.Which(Index) + ": " + Current->Error());
        if (got == 0) {
            if (Index + 1 >= Inputs.Inputs().size())
                return Fail("the inputs ended before their headers said");
            if (!Open(Index + 1, 0))
                return false;
            continue;
        }
        if (fmt.BitsPerSample == 24 && !fmt.Float)
            Widen24(Buffer.data(), got * channels);
        std::uint8_t* out[AV_NUM_DATA_POINTERS] = {};
        std::vector<std::uint8_t*> many;
        std::uint8_t** to = out;
        if (channels > AV_NUM_DATA_POINTERS) {
            many.resize(static_cast<std::size_t>(channels));
            to = many.data();
        }
        for (int c = 0; c < channels; ++c)
            to[c] = reinterpret_cast<std::uint8_t*>(planes[c] + done);
        const std::uint8_t* in = Buffer.data();
        if (swr_convert(Converter, to, static_cast<int>(got), &in, static_cast<int>(got)) != got)
            return Fail("sample conversion failed");
        done += static_cast<int>(got);
    }
    return true;
}
