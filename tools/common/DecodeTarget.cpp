#include "common/DecodeTarget.h"

#include "common/ToolText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsEmptyFile(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

} // namespace

TDecodeTarget::TDecodeTarget(std::string path) : Path(std::move(path)), Out(Path) {}

std::string TDecodeTarget::Refusal() {
    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0)
        return {};
    const std::string shown = tooltext::ShortPath(Path, 100);
    if (!S_ISREG(st.st_mode))
        return shown + " exists and is not a regular file";
    if (st.st_size != 0)
        return shown + " exists and is not empty; it is not overwritten";
    Reserved = true;
    return {};
}

bool TDecodeTarget::Create() {
    if (!Out.Create()) {
        Err = Out.Error();
        return false;
    }
    Io = std::make_unique<TFdIo>(Out.Fd());
    if (!Io->Context()) {
        Err = "out of memory";
        return false;
    }
    return true;
}

void TDecodeTarget::Fail() {
    Out.Discard();
    // Whether it was handed over empty or missing, the target ends as an empty file.
    const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0)
        close(fd);
}

bool TDecodeTarget::Commit() {
    if (!Io->Flush()) {
        Err = "cannot write " + tooltext::ShortPath(Path, 100) + ": " + Io->Error();
        Fail();
        return false;
    }
    // The empty file handed over is a reservation: replace it, but nothing that has grown since.
    const bool placed =
        Reserved && IsEmptyFile(Path) ? Out.CommitReplace(false) : Out.CommitNew(false);
    if (!placed)
        Err = Out.Error();
    return placed;
}
