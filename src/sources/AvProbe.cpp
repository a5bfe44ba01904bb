#include "sources/AvProbe.h"

#include "platform/AudioDemuxers.h"
#include "platform/Files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>

namespace {

struct TInputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

} // namespace

std::optional<TAvProbe> TAvProbe::Read(const std::string& path) {
    // The program's terminal is no place for the library's remarks on files it only looks at.
    av_log_set_level(AV_LOG_QUIET);
    // Only files: opening a FIFO or a device would wait for data that may never come.
    if (!platform::FileExists(path))
        return std::nullopt;
    AVFormatContext* opened = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", platform::AudioDemuxers, 0);
    av_dict_set(&options, "protocol_whitelist", platform::FileProtocolOnly, 0);
    const int opening = avformat_open_input(&opened, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opening < 0)
        return std::nullopt;
    const std::unique_ptr<AVFormatContext, TInputCloser> input(opened);
    int index = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    // Some containers name their streams' codecs only once packets are read.
    if (index < 0 && avformat_find_stream_info(opened, nullptr) >= 0)
        index = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return std::nullopt;
    const AVStream* stream = opened->streams[index];
    const AVCodecParameters* par = stream->codecpar;
    TAvProbe probe;
    probe.Format = opened->iformat->name;
    probe.Codec = avcodec_get_name(par->codec_id);
    probe.SampleRate = par->sample_rate > 0 ? static_cast<std::uint32_t>(par->sample_rate) : 0;
    probe.Channels = par->ch_layout.nb_channels > 0 ? par->ch_layout.nb_channels : 0;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par->codec_id);
    const bool lossy = !descriptor || (descriptor->props & AV_CODEC_PROP_LOSSY) != 0;
    const int bits =
        par->bits_per_raw_sample > 0 ? par->bits_per_raw_sample : par->bits_per_coded_sample;
    probe.BytesPerSample = lossy || bits <= 0 ? 4 : static_cast<unsigned>((bits + 7) / 8);
    if (probe.SampleRate > 0 && stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
        probe.Frames = static_cast<std::uint64_t>(
            av_rescale_q(stream->duration, stream->time_base, AVRational{1, par->sample_rate}));
    else if (probe.SampleRate > 0 && opened->duration > 0)
        probe.Frames = static_cast<std::uint64_t>(
            av_rescale(opened->duration, par->sample_rate, AV_TIME_BASE));
    return probe;
}
