#pragma once

#include <functional>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

// Small pieces of libav glue the three tools share.
namespace avhelpers {

// A libav version number (major << 16 | minor << 8 | micro) as "major.minor.micro".
std::string VersionText(unsigned version);

inline constexpr int PacketsEnd = 0;
inline constexpr int PacketsStopped = 1;
// Reads the input's packets into packet one at a time and hands each to take, unreferencing it
// after. Gives PacketsEnd at the end of the input, PacketsStopped when take returned false, or
// the libav error code of a failed read.
int ReadPackets(AVFormatContext* input, AVPacket* packet, const std::function<bool()>& take);

// Owners that hand libav objects back to libav however a function leaves.
struct TInputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct TCodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct TFrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct TPacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

using TInputPtr = std::unique_ptr<AVFormatContext, TInputCloser>;
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecFreer>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFreer>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFreer>;

} // namespace avhelpers
