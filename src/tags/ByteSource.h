#pragma once

#include <cstddef>
#include <cstdint>

// Where the tag readers take their bytes from: a file, or bytes in memory (tests, fuzzing).
class TByteSource {
public:
    virtual ~TByteSource() = default;

    // Reads up to count bytes from the position on; fewer at the end of the data.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
    // Moves to an absolute position within the data; a position past its end is refused.
    virtual bool Seek(std::uint64_t position) = 0;
    virtual std::uint64_t Position() const = 0;
    virtual std::uint64_t Size() const = 0;
    // True once a read failed for another reason than the end of the data.
    virtual bool Failed() const = 0;

    std::uint64_t Remaining() const {
        const std::uint64_t position = Position();
        const std::uint64_t size = Size();
        return position < size ? size - position : 0;
    }
};
