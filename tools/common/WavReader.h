#pragma once

#include "common/WavFormat.h"
#include "platform/RiffWave.h"

#include <cstdint>
#include <string>

// Reads the audio of a RIFF or RF64 WAVE file found by the chunk walk the program shares.
class TWavReader {
public:
    TWavReader() = default;
    TWavReader(const TWavReader&) = delete;
    TWavReader& operator=(const TWavReader&) = delete;
    ~TWavReader();

    // False with Error() set when the file cannot be read as a PCM or float WAV file.
    bool Open(const std::string& path);
    const TWavFormat& Format() const { return Fmt; }
    std::uint64_t Frames() const { return TotalFrames; }
    // Reads up to maxFrames whole frames of interleaved sample bytes; 0 at the end, -1 on a read
    // error (Error() says why).
    long Read(std::uint8_t* buffer, long maxFrames);
    // Reads from now on count frames from frame first on; false when they are not all there.
    bool Window(std::uint64_t first, std::uint64_t count);
    const std::string& Error() const { return Err; }

private:
    bool Fail(const std::string& reason);
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                const char* whenShort);
    bool TakeFormat(const platform::TRiffFormat& format);

    int Fd = -1;
    TWavFormat Fmt;
    std::uint64_t TotalFrames = 0;
    std::uint64_t FramesLeft = 0;
    std::uint64_t Position = 0;
    std::uint64_t DataOffset = 0;
    std::string Err;
};
