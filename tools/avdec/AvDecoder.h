#pragma once

#include "common/WavFormat.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;

// Decodes the audio of any file libavformat recognises by its content into a WAV file: the
// decoder's own sample format (8, 16, 24 or 32-bit PCM, 32 or 64-bit float), exactly as many
// samples as it gives after its own start and end trimming. Strict where the libraries are
// lenient: an error they only log, a stream that ends before the length its container declares
// (a lossy one: by more than two frames), and a format that changes midway fail the decode.
class TAvDecoder {
public:
    // Called with the bytes of the source read so far.
    using TProgress = std::function<void(std::int64_t)>;

    TAvDecoder() = default;
    TAvDecoder(const TAvDecoder&) = delete;
    TAvDecoder& operator=(const TAvDecoder&) = delete;
    ~TAvDecoder();

    bool Open(const std::string& path);
    // "WavPack (wv), 44100 Hz, 2 channels, 12.3 seconds"
    std::string Describe() const;
    std::int64_t SourceBytes() const { return Bytes; }
    // Audio of this many bytes or more gets an RF64 header.
    void SetRf64From(std::uint64_t bytes) { Rf64From = bytes; }
    // Writes the header and all samples; false with Error() on any problem.
    bool DecodeTo(AVIOContext* out, const TProgress& progress);
    std::int64_t DecodedSamples() const { return Decoded; }
    const TWavFormat& Format() const { return Fmt; }
    const std::string& Error() const { return Err; }

private:
    bool Fail(const std::string& reason, int code = 0);
    // The WAV layout of the first frame; every later frame must have the same.
    bool TakeFormat(const AVFrame* frame);
    bool WriteFrame(const AVFrame* frame, AVIOContext* out);
    bool Drain(AVIOContext* out);
    // The header with the sizes of what was written, over the reserved one.
    bool WriteHeader(AVIOContext* out);

    AVFormatContext* Input = nullptr;
    AVCodecContext* Codec = nullptr;
    int StreamIndex = -1;
    int FrameFormat = -1;
    // What the container says the stream holds, in samples; -1 when it does not say.
    std::int64_t Declared = -1;
    bool Lossless = false;
    std::int64_t Bytes = 0;
    TWavFormat Fmt;
    std::int64_t Decoded = 0;
    std::uint64_t Rf64From = 0xFFFFFFFFull - 72 + 1;
    std::vector<std::uint8_t> Buffer;
    std::string Err;
};
