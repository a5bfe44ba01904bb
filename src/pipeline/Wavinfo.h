#pragma once

#include "platform/RiffWave.h"

#include <array>
#include <cstdint>
#include <istream>
#include <string>

// Reads what the program needs of a WAV file: does it start like a RIFF file, its sample rate and
// the length of its audio, read by the chunk walk the codec tools share.
class TWavInfo {
public:
    // The first 44 bytes; bytes the file does not have keep their previous values.
    std::array<std::uint8_t, 44> Header{};
    // The file starts with "RIFF" or "RF64".
    bool Valid = false;
    std::string FileName;

    void ReadHeader(const std::string& path);
    // The same from a stream at the start of the file.
    void ReadStream(std::istream& in);

    // The least size of a usable WAV file.
    static constexpr int HeaderSize() { return 44; }
    // Data bytes over byte rate in whole seconds; -1 when not valid, without a format chunk or
    // with a byte rate of 0.
    int Seconds() const;
    // From the format chunk; for a file that is no RIFF file, whatever its bytes 24 to 27 hold.
    int SampleRate() const { return Rate; }
    // From the format chunk; 0 without one.
    int Channels() const { return static_cast<int>(Wave.Format.Channels); }
    const platform::TRiffFormat& Format() const { return Wave.Format; }
    // The bytes of audio the file holds, never more than are there.
    std::uint64_t DataBytes() const { return Wave.DataBytes; }
    // The data chunk declares more bytes than the file holds, as a writer that died leaves it.
    bool Truncated() const { return Wave.Truncated; }

private:
    int Rate = 0;
    platform::TRiffWave Wave;
};
