#include "ApeDecoder.h"

#include "common/AvHelpers.h"
#include "common/AvLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// Samples the libav decoder leaves in the upper bits of a wider word (24 in 32) move down to
// the WAV's width.
template <typename T>
void Interleave(const AVFrame* frame, int channels, int bytes, int shift, std::uint8_t* out) {
    for (int i = 0; i < frame->nb_samples; ++i)
        for (int c = 0; c < channels; ++c) {
            auto v =
                static_cast<std::uint32_t>(reinterpret_cast<const T*>(frame->extended_data[c])[i]);
            v >>= shift;
            for (int b = 0; b < bytes; ++b)
                *out++ = static_cast<std::uint8_t>(v >> (8 * b));
        }
}

} // namespace

TApeDecoder::~TApeDecoder() {
    avcodec_free_context(&Codec);
    avformat_close_input(&Input);
}

bool TApeDecoder::Fail(const std::string& reason, int code) {
    Err = TAvLog::Failure(reason, code);
    return false;
}

bool TApeDecoder::Open(const std::string& path) {
    int ret = avformat_open_input(&Input, path.c_str(), av_find_input_format("ape"), nullptr);
    if (ret == AVERROR(ENOENT) || ret == AVERROR(EACCES) || ret == AVERROR(EISDIR))
        return Fail("cannot open the source", ret);
    if (ret < 0)
        return Fail("not an APE file this decoder can read", ret);
    StreamIndex = av_find_best_stream(Input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (StreamIndex < 0)
        return Fail("the APE file holds no audio");
    const AVStream* st = Input->streams[StreamIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    Codec = avcodec_alloc_context3(codec);
    if (!codec || !Codec)
        return Fail("no APE decoder in libavcodec");
    if ((ret = avcodec_parameters_to_context(Codec, st->codecpar)) < 0 ||
        (ret = avcodec_open2(Codec, codec, nullptr)) < 0)
        return Fail("cannot start the APE decoder", ret);

    Fmt.Channels = Codec->ch_layout.nb_channels;
    Fmt.SampleRate = Codec->sample_rate;
    const int wordBits = 8 * av_get_bytes_per_sample(Codec->sample_fmt);
    Fmt.BitsPerSample =
        st->codecpar->bits_per_raw_sample > 0 && st->codecpar->bits_per_raw_sample <= wordBits
            ? st->codecpar->bits_per_raw_sample
            : wordBits;
    const auto format = av_get_packed_sample_fmt(Codec->sample_fmt);
    if (!Fmt.IsSupported() || Fmt.BitsPerSample % 8 != 0 ||
        (format != AV_SAMPLE_FMT_U8 && format != AV_SAMPLE_FMT_S16 && format != AV_SAMPLE_FMT_S32))
        return Fail("unsupported APE sample layout (" + std::to_string(Fmt.Channels) +
                    " channels, " + std::to_string(Fmt.BitsPerSample) + " bits)");
    Declared = st->duration;
    if (Declared <= 0 || st->time_base.num != 1 || st->time_base.den != Fmt.SampleRate)
        return Fail("the APE header declares no sample count");
    return true;
}

bool TApeDecoder::WriteFrame(const AVFrame* frame, AVIOContext* out) {
    const int bytes = Fmt.BitsPerSample / 8;
    Buffer.resize(static_cast<std::size_t>(frame->nb_samples) * Fmt.BlockAlign());
    const bool planar = av_sample_fmt_is_planar(Codec->sample_fmt);
    const int planes = planar ? Fmt.Channels : 1;
    const int perPlane = planar ? 1 : Fmt.Channels;
    // A packed frame is one plane of interleaved samples; treat it as a single "channel".
    AVFrame view = *frame;
    view.nb_samples = frame->nb_samples * perPlane;
    switch (av_get_packed_sample_fmt(Codec->sample_fmt)) {
    case AV_SAMPLE_FMT_U8:
        Interleave<std::uint8_t>(&view, planes, bytes, 8 - Fmt.BitsPerSample, Buffer.data());
        break;
    case AV_SAMPLE_FMT_S16:
        Interleave<std::uint16_t>(&view, planes, bytes, 16 - Fmt.BitsPerSample, Buffer.data());
        break;
    default:
        Interleave<std::uint32_t>(&view, planes, bytes, 32 - Fmt.BitsPerSample, Buffer.data());
        break;
    }
    avio_write(out, Buffer.data(), static_cast<int>(Buffer.size()));
    return out->error >= 0 || Fail("cannot write the WAV file", out->error);
}

bool TApeDecoder::Drain(AVIOContext* out, const TProgress& progress) {
    const avhelpers::TFramePtr owner(av_frame_alloc());
    AVFrame* frame = owner.get();
    if (!frame)
        return Fail("out of memory");
    bool ok = true;
    for (;;) {
        int ret = avcodec_receive_frame(Codec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0) {
            ok = Fail("decoding failed", ret);
            break;
        }
        Decoded += frame->nb_samples;
        if (Decoded > Declared) {
            ok = Fail("the file holds more samples than its header declares");
            break;
        }
        ok = WriteFrame(frame, out);
        av_frame_unref(frame);
        if (!ok)
            break;
        progress(Decoded);
    }
    return ok;
}

bool TApeDecoder::DecodeTo(AVIOContext* out, const TProgress& progress) {
    const auto bytes = static_cast<std::uint64_t>(Declared) * Fmt.BlockAlign();
    if (bytes >= Rf64From) {
        const auto header = Fmt.Rf64Header(bytes);
        avio_write(out, header.data(), static_cast<int>(header.size()));
    } else {
        const auto header = Fmt.CanonicalHeader(static_cast<std::uint32_t>(bytes));
        avio_write(out, header.data(), static_cast<int>(header.size()));
    }
    const avhelpers::TPacketPtr packet(av_packet_alloc());
    if (!packet)
        return Fail("out of memory");
    const int end = avhelpers::ReadPackets(Input, packet.get(), [&] {
        if (packet->stream_index == StreamIndex) {
            const int ret = avcodec_send_packet(Codec, packet.get());
            if (ret < 0 && ret != AVERROR(EAGAIN))
                return Fail("decoding failed", ret);
        }
        if (!Drain(out, progress))
            return false;
        return TAvLog::ErrorCount() == 0 || Fail("decoding failed");
    });
    if (end < 0)
        return Fail("reading the APE file failed", end);
    bool ok = end == avhelpers::PacketsEnd;
    if (ok && avcodec_send_packet(Codec, nullptr) >= 0)
        ok = Drain(out, progress);
    if (ok && TAvLog::ErrorCount() > 0)
        ok = Fail("decoding failed");
    if (ok && Decoded != Declared)
        ok = Fail("the file ends early: " + std::to_string(Decoded) + " of " +
                  std::to_string(Declared) + " samples decoded");
    return ok;
}
