#pragma once

#include <array>
#include <cstdint>
#include <string>

// Reads the first 44 bytes of a file as the canonical WAV header. Chunks are not walked: every
// value comes from its fixed place in that layout.
class TWavInfo {
public:
    std::array<std::uint8_t, 44> Header{};
    bool Valid = false;
    std::string FileName;

    // Bytes the file does not have keep their previous values.
    void ReadHeader(const std::string& path);

    // The least size of a usable WAV file.
    static constexpr int HeaderSize() { return 44; }
    // Data size over byte rate in whole seconds; -1 when not valid or the byte rate is 0.
    int Seconds() const;
    int SampleRate() const { return Rate; }

private:
    int Rate = 0;

    std::int32_t Value32(std::size_t offset) const;
};
