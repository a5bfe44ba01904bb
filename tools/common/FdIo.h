#pragma once

#include <cstdint>
#include <string>

struct AVIOContext;

// A seekable libav output on a descriptor the tool opened itself, so that libav never opens (and
// never truncates) a path on its own.
class TFdIo {
public:
    explicit TFdIo(int fd);
    TFdIo(const TFdIo&) = delete;
    TFdIo& operator=(const TFdIo&) = delete;
    ~TFdIo();

    AVIOContext* Context() const { return Io; }
    // Flushes libav's buffer; false when this or any earlier write failed.
    bool Flush();
    // Why the first failed write failed; without one, the text of the libav error code.
    std::string Error(int code = 0) const;

private:
    static int WritePacket(void* opaque, unsigned char* data, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

    int Fd;
    int FirstErrno = 0;
    AVIOContext* Io = nullptr;
};
