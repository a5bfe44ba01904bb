#include "tags/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileSource::~TFileSource() {
    if (File != nullptr)
        std::fclose(File);
}

bool TFileSource::Open(const std::string& path) {
    if (File != nullptr)
        return false;
    // Non-blocking until it is known to be a regular file: opening a FIFO would wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        (File = fdopen(fd, "rb")) == nullptr) {
        close(fd);
        return false;
    }
    FileSize = static_cast<std::uint64_t>(st.st_size);
    Offset = 0;
    ReadFailed = false;
    return true;
}

std::size_t TFileSource::Read(std::uint8_t* buffer, std::size_t count) {
    if (File == nullptr || count == 0)
        return 0;
    const std::size_t n = std::fread(buffer, 1, count, File);
    Offset += n;
    if (n < count && std::ferror(File))
        ReadFailed = true;
    return n;
}

bool TFileSource::Seek(std::uint64_t position) {
    if (File == nullptr || position > FileSize ||
        fseeko(File, static_cast<off_t>(position), SEEK_SET) != 0)
        return false;
    Offset = position;
    return true;
}
