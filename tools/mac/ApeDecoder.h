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

// Decodes an APE file with libavformat's demuxer and libavcodec's decoder into the data of a PCM
// WAV file. Strict where the library is lenient: an error the library only logs, and a file that
// ends before the sample count its header declares, fail the decode.
class TApeDecoder {
public:
    // Called with the samples per channel decoded so far.
    using TProgress = std::function<void(std::int64_t)>;

    TApeDecoder() = default;
    TApeDecoder(const TApeDecoder&) = delete;
    TApeDecoder& operator=(const TApeDecoder&) = delete;
    ~TApeDecoder();

    bool Open(const std::string& path);
    const TWavFormat& Format() const { return Fmt; }
    // Audio of this many bytes or more gets an RF64 header: past it the 32-bit sizes of the
    // canonical header would wrap.
    void SetRf64From(std::uint64_t bytes) { Rf64From = bytes; }
    std::int64_t DeclaredSamples() const { return Declared; }
    // Writes the canonical header and all samples; false with Error() on any problem.
    bool DecodeTo(AVIOContext* out, const TProgress& progress);
    const std::string& Error() const { return Err; }

private:
    bool Fail(const std::string& reason, int code = 0);
    bool WriteFrame(const AVFrame* frame, AVIOContext* out);
    bool Drain(AVIOContext* out, const TProgress& progress);

    AVFormatContext* Input = nullptr;
    AVCodecContext* Codec = nullptr;
    int StreamIndex = -1;
    TWavFormat Fmt;
    std::int64_t Declared = 0;
    std::int64_t Decoded = 0;
    std::uint64_t Rf64From = 0xFFFFFFFFull - 36 + 1;
    std::vector<std::uint8_t> Buffer;
    std::string Err;
};
