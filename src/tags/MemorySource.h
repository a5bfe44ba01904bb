#pragma once

#include "tags/ByteSource.h"

#include <span>

// Reads from bytes the caller keeps alive.
class TMemorySource : public TByteSource {
public:
    explicit TMemorySource(std::span<const std::uint8_t> bytes) : Bytes(bytes) {}

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    bool Seek(std::uint64_t position) override;
    std::uint64_t Position() const override { return Offset; }
    std::uint64_t Size() const override { return Bytes.size(); }
    bool Failed() const override { return false; }

private:
    std::span<const std::uint8_t> Bytes;
    std::size_t Offset = 0;
};
