#include "SegmentEncoder.h"

#include "common/AvLog.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace {

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

TSegmentEncoder::TSegmentEncoder(const TEncoderSetup& setup, const TInputSequence& inputs)
    : Setup(setup), Inputs(inputs) {}

bool TSegmentEncoder::Fail(const std::string& reason, int code) {
    Err = TAvLog::Reason(reason, code);
    return false;
}

bool TSegmentEncoder::Open() {
    Codec.reset();
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return Fail("libavcodec has no AAC encoder");
    bool rateOk = !codec->supported_samplerates;
    for (const int* r = codec->supported_samplerates; r && *r; ++r)
        rateOk = rateOk || *r == Setup.SampleRate;
    if (!rateOk)
        return Fail("AAC cannot carry a sample rate of " + std::to_string(Setup.SampleRate) +
                    " Hz");
    AVChannelLayout layout{};
    if (!ChooseLayout(codec, Setup.Channels, layout))
        return Fail("AAC encoding of " + std::to_string(Setup.Channels) +
                    " channels is not offered");
    Codec.reset(avcodec_alloc_context3(codec));
    if (!Frame)
        Frame.reset(av_frame_alloc());
    if (!Packet)
        Packet.reset(av_packet_alloc());
    if (!Codec || !Frame || !Packet) {
        av_channel_layout_uninit(&layout);
        return Fail("out of memory");
    }
    Codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    Codec->sample_rate = Setup.SampleRate;
    av_channel_layout_copy(&Codec->ch_layout, &layout);
    av_channel_layout_uninit(&layout);
    Codec->bit_rate = Setup.Bitrate;
    Codec->profile = FF_PROFILE_AAC_LOW;
    Codec->time_base = AVRational{1, Setup.SampleRate};
    Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int ret = avcodec_open2(Codec.get(), codec, nullptr);
    if (ret < 0)
        return Fail("cannot start the AAC encoder", ret);
    return true;
}

bool TSegmentEncoder::Send(TSegment& segment, const AVFrame* frame) {
    int ret = avcodec_send_frame(Codec.get(), frame);
    if (ret < 0)
        return Fail("encoding failed", ret);
    const std::int64_t keepFrom =
        segment.Index == 0 ? -TSegmentPlan::FrameSamples : segment.Bounds.Start;
    for (;;) {
        ret = avcodec_receive_packet(Codec.get(), Packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            return Fail("encoding failed", ret);
        // Past the end only the last segment's flush carries real samples.
        if (Packet->pts >= keepFrom && (segment.Last || Packet->pts < segment.Bounds.End))
            segment.Packets.push_back(
                {std::vector<std::uint8_t>(Packet->data, Packet->data + Packet->size), Packet->pts,
                 Packet->duration});
        else if (Packet->pts < keepFrom)
            segment.Lead.assign(Packet->data, Packet->data + Packet->size);
        av_packet_unref(Packet.get());
    }
}

bool TSegmentEncoder::Encode(TSegment& segment, int preRollFrames,
                             std::atomic<std::int64_t>* done) {
    segment.Packets.clear();
    segment.Lead.clear();
    segment.PreRollUsed = preRollFrames;
    if (!Open()) {
        segment.Error = Err;
        return false;
    }
    constexpr std::int64_t frameSamples = TSegmentPlan::FrameSamples;
    const auto total = static_cast<std::int64_t>(Inputs.TotalFrames());
    const std::int64_t readEnd =
        std::min(segment.Bounds.End + TSegmentPlan::PostRollFrames * frameSamples, total);
    std::int64_t pos =
        std::max<std::int64_t>(0, segment.Bounds.Start - preRollFrames * frameSamples);
    if (!Reader)
        Reader = std::make_unique<TInputReader>(Inputs);
    // One buffer for the whole segment; the encoder copies each frame's samples as it takes it.
    av_frame_unref(Frame.get());
    Frame->format = AV_SAMPLE_FMT_FLTP;
    Frame->nb_samples = static_cast<int>(frameSamples);
    Frame->sample_rate = Setup.SampleRate;
    av_channel_layout_copy(&Frame->ch_layout, &Codec->ch_layout);
    int ret = av_frame_get_buffer(Frame.get(), 0);
    bool ok = ret >= 0 || Fail("out of memory", ret);
    ok = ok && (Reader->Seek(static_cast<std::uint64_t>(pos)) || Fail(Reader->Error()));
    while (ok && pos < readEnd) {
        const int n = static_cast<int>(std::min(frameSamples, readEnd - pos));
        if ((ret = av_frame_make_writable(Frame.get())) < 0) {
            ok = Fail("out of memory", ret);
            break;
        }
        Frame->nb_samples = n;
        if (!Reader->Read(reinterpret_cast<float* const*>(Frame->extended_data), n)) {
            ok = Fail(Reader->Error());
            break;
        }
        Frame->pts = pos;
        ok = Send(segment, Frame.get());
        if (done && pos >= segment.Bounds.Start && pos < segment.Bounds.End)
            *done += std::min<std::int64_t>(n, segment.Bounds.End - pos);
        pos += n;
    }
    ok = ok && Send(segment, nullptr);
    Codec.reset();
    if (!ok)
        segment.Error = Err;
    return ok;
}
