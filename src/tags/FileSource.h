#pragma once

#include "tags/ByteSource.h"

#include <cstdio>
#include <string>

// A file opened for reading only, closed with the object.
class TFileSource : public TByteSource {
public:
    TFileSource() = default;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;
    ~TFileSource() override;

    // False when the path names no regular file that can be opened for reading.
    bool Open(const std::string& path);

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    bool Seek(std::uint64_t position) override;
    std::uint64_t Position() const override { return Offset; }
    std::uint64_t Size() const override { return FileSize; }
    bool Failed() const override { return ReadFailed; }

private:
    std::FILE* File = nullptr;
    std::uint64_t FileSize = 0;
    std::uint64_t Offset = 0;
    bool ReadFailed = false;
};
