#pragma once

#include <cstdint>

struct AVIOContext;

// A libav input on a descriptor the tool holds open for writing, reading at a position of its own
// (pread), so the writer's file offset is never moved. libavformat's second pass that puts the
// index ahead of the audio reads the new file back through it: that file may have no name.
class TFdReader {
public:
    explicit TFdReader(int fd);
    TFdReader(const TFdReader&) = delete;
    TFdReader& operator=(const TFdReader&) = delete;
    ~TFdReader();

    AVIOContext* Context() const { return Io; }

private:
    static int ReadPacket(void* opaque, unsigned char* data, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

    int Fd;
    std::int64_t Position = 0;
    AVIOContext* Io = nullptr;
};
