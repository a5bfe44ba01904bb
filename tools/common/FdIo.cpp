#include "common/FdIo.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
constexpr int BufferSize = 1 << 20;
}

TFdIo::TFdIo(int fd) : Fd(fd) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(BufferSize));
    if (buffer)
        Io = avio_alloc_context(buffer, BufferSize, 1, this, nullptr, WritePacket, Seek);
    if (!Io)
        av_free(buffer);
}

TFdIo::~TFdIo() {
    if (Io) {
        av_freep(&Io->buffer);
        avio_context_free(&Io);
    }
}

int TFdIo::WritePacket(void* opaque, unsigned char* data, int size) {
    auto* self = static_cast<TFdIo*>(opaque);
    int done = 0;
    while (done < size) {
        ssize_t n = write(self->Fd, data + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (self->FirstErrno == 0)
                self->FirstErrno = n < 0 ? errno : ENOSPC;
            return AVERROR(self->FirstErrno);
        }
        done += static_cast<int>(n);
    }
    return size;
}

std::int64_t TFdIo::Seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<TFdIo*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat st {};
        return fstat(self->Fd, &st) == 0 ? st.st_size : AVERROR(errno);
    }
    off_t at = lseek(self->Fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
}

bool TFdIo::Flush() {
    if (!Io)
        return false;
    avio_flush(Io);
    return FirstErrno == 0 && Io->error >= 0;
}

std::string TFdIo::Error(int code) const {
    if (FirstErrno != 0)
        return std::strerror(FirstErrno);
    if (!Io)
        return "out of memory";
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(Io->error < 0 ? Io->error : code, text, sizeof text);
    return text;
}
