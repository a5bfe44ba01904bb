#include "common/OutputFile.h"

#include "common/ToolText.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The one temporary name a signal handler may have to remove; signals are blocked while it
// changes.
char CleanupPath[4096] = "";
volatile sig_atomic_t HaveCleanupPath = 0;
const int CleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void RemoveAndDie(int sig) {
    if (HaveCleanupPath)
        unlink(CleanupPath);
    signal(sig, SIG_DFL);
    raise(sig);
}

class TSignalsBlocked {
public:
    TSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : CleanupSignals)
            sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &Old);
    }
    ~TSignalsBlocked() { sigprocmask(SIG_SETMASK, &Old, nullptr); }

private:
    sigset_t Old;
};

void SetCleanupPath(const std::string& path) {
    static bool installed = false;
    if (!installed) {
        struct sigaction action {};
        action.sa_handler = RemoveAndDie;
        sigemptyset(&action.sa_mask);
        for (int sig : CleanupSignals) {
            struct sigaction old {};
            // A signal the caller's parent set to be ignored stays ignored.
            if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
                sigaction(sig, &action, nullptr);
        }
        installed = true;
    }
    HaveCleanupPath = 0;
    if (path.empty() || path.size() >= sizeof CleanupPath)
        return;
    std::memcpy(CleanupPath, path.c_str(), path.size() + 1);
    HaveCleanupPath = 1;
}

std::string RandomSuffix() {
    static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[8] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        const auto seed = static_cast<unsigned>(getpid()) * 2654435761u + ++counter;
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i * 3));
    }
    std::string s;
    for (unsigned char b : bytes)
        s += Alphabet[b % (sizeof Alphabet - 1)];
    return s;
}

// A hidden name beside the target: ".name.XXXXXXXX.part", the name part cut at a character
// boundary so that the whole stays within the file system's limit.
std::string TemporaryName(const std::string& folder, const std::string& target) {
    std::string base = target.substr(target.find_last_of('/') + 1);
    if (base.size() > 180) {
        std::size_t cut = 180;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    return folder + "/." + base + "." + RandomSuffix() + ".part";
}

bool IsUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

} // namespace

TOutputFile::TOutputFile(std::string target) : Target(std::move(target)) {
    const auto slash = Target.find_last_of('/');
    Folder = slash == std::string::npos ? "." : slash == 0 ? "/" : Target.substr(0, slash);
}

TOutputFile::~TOutputFile() {
    Discard();
}

bool TOutputFile::Fail(const std::string& what, int error) {
    Err = what + ": " + std::strerror(error);
    return false;
}

bool TOutputFile::Create() {
    Discard();
    // An unnamed file can only get its name through /proc without extra privileges. Readable
    // too: the tagger reads back what it wrote.
    if (access("/proc/self/fd", F_OK) == 0) {
        Descriptor = open(Folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (Descriptor >= 0) {
            Unnamed = true;
            return true;
        }
        if (!IsUnsupported(errno))
            return Fail("cannot create a file in " + tooltext::ShortPath(Folder, 100), errno);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName(Folder, Target);
        TSignalsBlocked blocked;
        Descriptor = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Descriptor >= 0) {
            Temporary = name;
            SetCleanupPath(Temporary);
            return true;
        }
        if (errno != EEXIST)
            return Fail("cannot create a file in " + tooltext::ShortPath(Folder, 100), errno);
    }
    return Fail("cannot create a file in " + tooltext::ShortPath(Folder, 100), EEXIST);
}

int TOutputFile::LinkUnnamed(const std::string& path) {
    if (linkat(Descriptor, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    const std::string self = "/proc/self/fd/" + std::to_string(Descriptor);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

bool TOutputFile::Flush(bool durable) {
    if (Descriptor < 0)
        return Fail("cannot write " + tooltext::ShortPath(Target, 100), EBADF);
    if (durable && fsync(Descriptor) != 0)
        return Fail("cannot write " + tooltext::ShortPath(Target, 100), errno);
    return true;
}

void TOutputFile::SyncFolder() {
    int fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool TOutputFile::CommitNew(bool durable) {
    if (!Flush(durable))
        return false;
    if (Unnamed) {
        if (int error = LinkUnnamed(Target))
            return Fail("cannot create " + tooltext::ShortPath(Target, 100), error);
    } else {
        TSignalsBlocked blocked;
        if (renameat2(AT_FDCWD, Temporary.c_str(), AT_FDCWD, Target.c_str(), RENAME_NOREPLACE) !=
            0) {
            // Without RENAME_NOREPLACE in the file system a hard link is just as exclusive.
            if (!IsUnsupported(errno) && errno != ENOSYS)
                return Fail("cannot create " + tooltext::ShortPath(Target, 100), errno);
            if (link(Temporary.c_str(), Target.c_str()) != 0)
                return Fail("cannot create " + tooltext::ShortPath(Target, 100), errno);
            unlink(Temporary.c_str());
        }
        Temporary.clear();
        SetCleanupPath("");
    }
    return Close(durable);
}

// The file is under its real name by now and nothing is left to clean up.
bool TOutputFile::Close(bool durable) {
    close(Descriptor);
    Descriptor = -1;
    if (durable)
        SyncFolder();
    return true;
}

bool TOutputFile::NameTemporary() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName(Folder, Target);
        TSignalsBlocked blocked;
        int error = LinkUnnamed(name);
        if (error == 0) {
            Temporary = name;
            SetCleanupPath(Temporary);
            Unnamed = false;
            return true;
        }
        if (error != EEXIST)
            return Fail("cannot write in " + tooltext::ShortPath(Folder, 100), error);
    }
    return Fail("cannot write in " + tooltext::ShortPath(Folder, 100), EEXIST);
}

bool TOutputFile::CommitReplace(bool durable) {
    if (!Flush(durable))
        return false;
    if (Unnamed && !NameTemporary())
        return false;
    {
        TSignalsBlocked blocked;
        if (rename(Temporary.c_str(), Target.c_str()) != 0)
            return Fail("cannot replace " + tooltext::ShortPath(Target, 100), errno);
        Temporary.clear();
        SetCleanupPath("");
    }
    return Close(durable);
}

void TOutputFile::Discard() {
    if (!Temporary.empty()) {
        TSignalsBlocked blocked;
        unlink(Temporary.c_str());
        Temporary.clear();
        SetCleanupPath("");
    }
    if (Descriptor >= 0)
        close(Descriptor);
    Descriptor = -1;
    Unnamed = false;
}
