#pragma once

#include "EncoderOptions.h"
#include "common/WavReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
class TFdIo;
class TOutputFile;
class TProgressLine;

// Encodes the inputs, in order, as one continuous AAC-LC stream into one MP4 file, with a
// chapter at the first sample of each input when there are several.
class TAacEncoder {
public:
    explicit TAacEncoder(const TEncoderOptions& options);
    TAacEncoder(const TAacEncoder&) = delete;
    TAacEncoder& operator=(const TAacEncoder&) = delete;
    ~TAacEncoder();

    // Gives the exit code; every failure has printed its reason.
    int Run();

private:
    bool OpenInputs();
    void PrintPlan() const;
    bool OpenEncoder();
    bool OpenMuxer(TFdIo& io);
    bool EncodeInput(TWavReader& reader, TProgressLine& progress);
    bool SendFrame(const AVFrame* frame);
    bool Fail(const std::string& reason, int code = 0);

    const TEncoderOptions& Options;
    std::vector<std::unique_ptr<TWavReader>> Readers;
    int Channels = 0;
    int SampleRate = 0;
    std::uint64_t TotalFrames = 0;
    long Bitrate = 0;

    AVCodecContext* Encoder = nullptr;
    AVFormatContext* Muxer = nullptr;
    AVStream* Stream = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    SwrContext* Converter = nullptr;
    TFdIo* Io = nullptr;
    int Filled = 0;
    std::int64_t SamplesSent = 0;
    std::int64_t ShownSeconds = -1;
    std::uint64_t PacketBytes = 0;
    std::string Err;
};
