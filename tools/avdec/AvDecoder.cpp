#include "AvDecoder.h"

#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/ToolText.h"
#include "platform/AudioDemuxers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// The layout of Rf64Header with its ds64 chunk read as JUNK: the same 80 bytes then serve a
// plain RIFF file below 4 GiB, so the header can wait until the length is known.
std::array<std::uint8_t, 80> RiffHeader(const TWavFormat& format, std::uint64_t dataBytes,
                                        bool rf64) {
    std::array<std::uint8_t, 80> h = format.Rf64Header(dataBytes);
    if (rf64)
        return h;
    const auto put32 = [&](std::size_t at, std::uint64_t v) {
        for (int b = 0; b < 4; ++b)
            h[at + b] = static_cast<std::uint8_t>(v >> (8 * b));
    };
    std::memcpy(h.data(), "RIFF", 4);
    put32(4, h.size() - 8 + dataBytes);
    std::memcpy(h.data() + 12, "JUNK", 4);
    std::fill(h.begin() + 20, h.begin() + 48, 0);
    put32(76, dataBytes);
    return h;
}

// Interleaves a frame into WAV samples of Bytes each, the top Bytes of each little-endian word
// (a 24-bit sample is the upper three bytes of its 32).
template <int Bytes>
void Interleave(const AVFrame* frame, int channels, bool planar, int word, std::uint8_t* to) {
    const int skip = word - Bytes;
    for (int i = 0; i < frame->nb_samples; ++i)
        for (int c = 0; c < channels; ++c) {
            const std::uint8_t* from =
                planar
                    ? frame->extended_data[c] + static_cast<std::size_t>(i) * word
                    : frame->extended_data[0] + (static_cast<std::size_t>(i) * channels + c) * word;
            std::memcpy(to, from + skip, Bytes);
            to += Bytes;
        }
}

} // namespace

TAvDecoder::~TAvDecoder() {
    avcodec_free_context(&Codec);
    avformat_close_input(&Input);
}

bool TAvDecoder::Fail(const std::string& reason, int code) {
    Err = TAvLog::Failure(reason, code);
    return false;
}

bool TAvDecoder::Open(const std::string& path) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", platform::AudioDemuxers, 0);
    av_dict_set(&options, "protocol_whitelist", platform::FileProtocolOnly, 0);
    int ret = avformat_open_input(&Input, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (ret == AVERROR(ENOENT) || ret == AVERROR(EACCES) || ret == AVERROR(EISDIR))
        return Fail("cannot open the source", ret);
    if (ret < 0)
        return Fail("no audio file FFmpeg's libraries recognise", ret);
    Bytes = std::max<std::int64_t>(avio_size(Input->pb), 1);
    if ((ret = avformat_find_stream_info(Input, nullptr)) < 0)
        return Fail("the file's streams cannot be read", ret);
    StreamIndex = av_find_best_stream(Input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (StreamIndex < 0)
        return Fail("the file holds no audio stream");
    const AVStream* st = Input->streams[StreamIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (st->codecpar->codec_id == AV_CODEC_ID_NONE)
        return Fail("the audio's codec is unknown to FFmpeg's libraries");
    if (!codec)
        return Fail(std::string("FFmpeg's libraries cannot decode ") +
                    avcodec_get_name(st->codecpar->codec_id) + " audio");
    Codec = avcodec_alloc_context3(codec);
    if (!Codec)
        return Fail("out of memory");
    // Decoders with frame threads (WavPack, ALAC, ...) use every core; the decode runs alone.
    Codec->thread_count = 0;
    if ((ret = avcodec_parameters_to_context(Codec, st->codecpar)) < 0 ||
        (ret = avcodec_open2(Codec, codec, nullptr)) < 0)
        return Fail(std::string("cannot start the ") + codec->name + " decoder", ret);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(st->codecpar->codec_id);
    Lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0;
    // A length guessed from the bitrate is no promise.
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE &&
        Input->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE && Codec->sample_rate > 0)
        Declared = av_rescale_q(st->duration, st->time_base, AVRational{1, Codec->sample_rate});
    for (AVStream* other : std::span(Input->streams, Input->nb_streams))
        if (other->index != StreamIndex)
            other->discard = AVDISCARD_ALL;
    return true;
}

std::string TAvDecoder::Describe() const {
    const AVCodecParameters* par = Input->streams[StreamIndex]->codecpar;
    std::string text = std::string(avcodec_get_name(par->codec_id)) + " in " +
                       Input->iformat->name + ", " + std::to_string(par->sample_rate) + " Hz, " +
                       std::to_string(par->ch_layout.nb_channels) + " channels";
    if (Input->duration > 0)
        text += ", " + tooltext::OneDecimal(static_cast<double>(Input->duration) / AV_TIME_BASE) +
                " seconds";
    return text;
}

bool TAvDecoder::TakeFormat(const AVFrame* frame) {
    const auto packed = av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame->format));
    if (FrameFormat >= 0) {
        if (frame->format != FrameFormat || frame->ch_layout.nb_channels != Fmt.Channels ||
            frame->sample_rate != Fmt.SampleRate)
            return Fail("the audio format changes within the file");
        return true;
    }
    FrameFormat = frame->format;
    Fmt.Channels = frame->ch_layout.nb_channels;
    Fmt.SampleRate = frame->sample_rate;
    Fmt.Float = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
    Fmt.BitsPerSample = 8 * av_get_bytes_per_sample(packed);
    // 24-bit audio arrives in the upper bits of 32.
    const int raw = Codec->bits_per_raw_sample;
    if (packed == AV_SAMPLE_FMT_S32 && raw > 0 && raw <= 24)
        Fmt.BitsPerSample = 24;
    if (packed == AV_SAMPLE_FMT_S64 || !Fmt.IsSupported())
        return Fail(std::string("no WAV layout for ") + std::to_string(Fmt.Channels) +
                    " channels of " +
                    av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format)) + " at " +
                    std::to_string(Fmt.SampleRate) + " Hz");
    return true;
}

bool TAvDecoder::WriteFrame(const AVFrame* frame, AVIOContext* out) {
    if (!TakeFormat(frame))
        return false;
    const int word = av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
    const int bytes = Fmt.BitsPerSample / 8;
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
    const std::size_t size = static_cast<std::size_t>(frame->nb_samples) * Fmt.BlockAlign();
    // Packed samples of the WAV's own width are its data as they are.
    if ((!planar || Fmt.Channels == 1) && word == bytes) {
        avio_write(out, frame->extended_data[0], static_cast<int>(size));
    } else {
        Buffer.resize(size);
        switch (bytes) {
        case 1:
            Interleave<1>(frame, Fmt.Channels, planar, word, Buffer.data());
            break;
        case 2:
            Interleave<2>(frame, Fmt.Channels, planar, word, Buffer.data());
            break;
        case 3:
            Interleave<3>(frame, Fmt.Channels, planar, word, Buffer.data());
            break;
        case 4:
            Interleave<4>(frame, Fmt.Channels, planar, word, Buffer.data());
            break;
        default:
            Interleave<8>(frame, Fmt.Channels, planar, word, Buffer.data());
            break;
        }
        avio_write(out, Buffer.data(), static_cast<int>(size));
    }
    return out->error >= 0 || Fail("cannot write the WAV file", out->error);
}

bool TAvDecoder::Drain(AVIOContext* out) {
    const avhelpers::TFramePtr owner(av_frame_alloc());
    AVFrame* frame = owner.get();
    if (!frame)
        return Fail("out of memory");
    for (;;) {
        const int ret = avcodec_receive_frame(Codec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            return Fail("decoding failed", ret);
        Decoded += frame->nb_samples;
        const bool ok = WriteFrame(frame, out);
        av_frame_unref(frame);
        if (!ok)
            return false;
    }
}

bool TAvDecoder::WriteHeader(AVIOContext* out) {
    const std::uint64_t bytes = static_cast<std::uint64_t>(Decoded) * Fmt.BlockAlign();
    const auto header = RiffHeader(Fmt, bytes, bytes >= Rf64From);
    const std::int64_t end = avio_tell(out);
    if (avio_seek(out, 0, SEEK_SET) < 0)
        return Fail("cannot complete the WAV header");
    avio_write(out, header.data(), static_cast<int>(header.size()));
    avio_seek(out, end, SEEK_SET);
    return out->error >= 0 || Fail("cannot write the WAV file", out->error);
}

bool TAvDecoder::DecodeTo(AVIOContext* out, const TProgress& progress) {
    // Reserved for the header, whose sizes and format the decode gives.
    const std::array<std::uint8_t, 80> reserved{};
    avio_write(out, reserved.data(), static_cast<int>(reserved.size()));
    const avhelpers::TPacketPtr packet(av_packet_alloc());
    if (!packet)
        return Fail("out of memory");
    const int end = avhelpers::ReadPackets(Input, packet.get(), [&] {
        if (packet->stream_index == StreamIndex) {
            const int ret = avcodec_send_packet(Codec, packet.get());
            if (ret < 0 && ret != AVERROR(EAGAIN))
                return Fail("decoding failed", ret);
        }
        if (!Drain(out))
            return false;
        progress(avio_tell(Input->pb));
        return TAvLog::ErrorCount() == 0 || Fail("decoding failed");
    });
    if (end == avhelpers::PacketsStopped)
        return false;
    if (end < 0)
        return Fail("reading the file failed", end);
    if (avcodec_send_packet(Codec, nullptr) < 0 || !Drain(out))
        return Err.empty() ? Fail("decoding failed") : false;
    if (TAvLog::ErrorCount() > 0)
        return Fail("decoding failed");
    if (Decoded == 0)
        return Fail("the file holds no decodable audio");
    // A lossy decoder may end a frame or two short of the container's length, never more.
    const std::int64_t slack = Lossless ? 0 : 2 * std::max(Codec->frame_size, 4096);
    if (Declared > 0 && Decoded + slack < Declared)
        return Fail("the file ends early: " + std::to_string(Decoded) + " of " +
                    std::to_string(Declared) + " samples decoded");
    return WriteHeader(out);
}
