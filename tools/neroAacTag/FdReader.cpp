#include "FdReader.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
constexpr int BufferSize = 1 << 16;
}

TFdReader::TFdReader(int fd) : Fd(fd) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(BufferSize));
    if (buffer)
        Io = avio_alloc_context(buffer, BufferSize, 0, this, ReadPacket, nullptr, Seek);
    if (!Io)
        av_free(buffer);
}

TFdReader::~TFdReader() {
    if (Io) {
        av_freep(&Io->buffer);
        avio_context_free(&Io);
    }
}

int TFdReader::ReadPacket(void* opaque, unsigned char* data, int size) {
    auto* self = static_cast<TFdReader*>(opaque);
    for (;;) {
        const ssize_t n = pread(self->Fd, data, static_cast<std::size_t>(size), self->Position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AVERROR(errno);
        if (n == 0)
            return AVERROR_EOF;
        self->Position += n;
        return static_cast<int>(n);
    }
}

std::int64_t TFdReader::Seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<TFdReader*>(opaque);
    struct stat st {};
    if ((whence == AVSEEK_SIZE || (whence & ~AVSEEK_FORCE) == SEEK_END) && fstat(self->Fd, &st))
        return AVERROR(errno);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return st.st_size;
    case SEEK_SET:
        self->Position = offset;
        break;
    case SEEK_CUR:
        self->Position += offset;
        break;
    case SEEK_END:
        self->Position = st.st_size + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    return self->Position;
}
