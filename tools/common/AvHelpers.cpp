#include "AvHelpers.h"

namespace avhelpers {

std::string VersionText(unsigned version) {
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
           std::to_string(version & 0xFF);
}

int ReadPackets(AVFormatContext* input, AVPacket* packet, const std::function<bool()>& take) {
    for (;;) {
        const int ret = av_read_frame(input, packet);
        if (ret == AVERROR_EOF)
            return PacketsEnd;
        if (ret < 0)
            return ret;
        const bool goOn = take();
        av_packet_unref(packet);
        if (!goOn)
            return PacketsStopped;
    }
}

} // namespace avhelpers
