#pragma once

#include "InputReader.h"
#include "Segment.h"
#include "common/AvHelpers.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// What every segment's encoder is opened with, so that all of them make the same decisions.
struct TEncoderSetup {
    int Channels = 0;
    int SampleRate = 0;
    long Bitrate = 0;
};

// Encodes one segment with a fresh encoder: the pre-roll settles its state, the post-roll lets
// it decide the last kept frame's window as a serial encode would, and only the packets whose
// samples lie inside the segment are kept (the first segment's also the priming packet). It
// reads the samples itself, from the inputs.
class TSegmentEncoder {
public:
    TSegmentEncoder(const TEncoderSetup& setup, const TInputSequence& inputs);
    TSegmentEncoder(const TSegmentEncoder&) = delete;
    TSegmentEncoder& operator=(const TSegmentEncoder&) = delete;

    // Opens a fresh encoder; false with Error() set when it refuses the setup. Context() then
    // gives the stream parameters the muxer needs.
    bool Open();
    const AVCodecContext* Context() const { return Codec.get(); }
    // Fills segment.Packets, or segment.Error on failure. Samples of kept frames are added to
    // done as they are encoded, when it is given.
    bool Encode(TSegment& segment, int preRollFrames, std::atomic<std::int64_t>* done);
    const std::string& Error() const { return Err; }

private:
    bool Send(TSegment& segment, const AVFrame* frame);
    bool Fail(const std::string& reason, int code = 0);

    TEncoderSetup Setup;
    const TInputSequence& Inputs;
    // Made by the first encode, so that a worker that cannot allocate fails a segment.
    std::unique_ptr<TInputReader> Reader;
    avhelpers::TCodecPtr Codec;
    avhelpers::TFramePtr Frame;
    avhelpers::TPacketPtr Packet;
    std::string Err;
};
