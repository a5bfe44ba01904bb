#include "platform/Console.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vterm.h>

extern char** environ;

namespace platform {

namespace {

// The variables every tool gets on top of the program's own environment.
const char* const ToolEnvironment[] = {"LC_ALL=C.UTF-8", "TERM=xterm"};

std::vector<std::string> BuildEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        bool overridden = false;
        for (const char* own : ToolEnvironment) {
            std::string_view name(own, std::strchr(own, '=') - own + 1);
            if (entry.compare(0, name.size(), name) == 0)
                overridden = true;
        }
        if (!overridden)
            env.push_back(std::move(entry));
    }
    for (const char* own : ToolEnvironment)
        env.emplace_back(own);
    return env;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts)
        pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

bool IsTrailingJunk(unsigned char c) {
    return c <= ' ' || c == 0x7F;
}

} // namespace

struct TConsole::TImpl {
    int Master = -1;
    int Slave = -1;
    std::string SlaveName;
    VTerm* Term = nullptr;
    VTermScreen* Screen = nullptr;
    int Width = 0;
    int Height = 0;
    pid_t Child = -1;
    int ChildFd = -1; // pidfd: lets one poll wait for output and for the end together
    bool Ended = false;

    ~TImpl() {
        if (Term)
            vterm_free(Term);
        for (int fd : {Master, Slave, ChildFd})
            if (fd >= 0)
                close(fd);
    }

    bool Open(int width, int height) {
        if (Term)
            return true;
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Master < 0)
            return false;
        char* name = (grantpt(Master) == 0 && unlockpt(Master) == 0) ? ptsname(Master) : nullptr;
        if (!name) {
            close(Master);
            Master = -1;
            return false;
        }
        SlaveName = name;
        // Holding the slave keeps the terminal alive between runs, so reads of the master never
        // fail with EIO when a tool has gone.
        Slave = open(SlaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Slave < 0) {
            close(Master);
            Master = -1;
            return false;
        }
        fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
        Term = vterm_new(height, width);
        vterm_set_utf8(Term, 1);
        vterm_output_set_callback(Term, &TImpl::Answer, this);
        Screen = vterm_obtain_screen(Term);
        vterm_screen_reset(Screen, 1);
        Width = width;
        Height = height;
        Resize(width, height);
        return true;
    }

    // The terminal's answers to the tool's queries go back to the tool as a real terminal's would.
    static void Answer(const char* bytes, size_t length, void* user) {
        auto* self = static_cast<TImpl*>(user);
        while (length > 0) {
            ssize_t n = write(self->Master, bytes, length);
            if (n <= 0)
                return;
            bytes += n;
            length -= static_cast<size_t>(n);
        }
    }

    void Resize(int width, int height) {
        if (width != Width || height != Height) {
            vterm_set_size(Term, height, width);
            Width = width;
            Height = height;
        }
        winsize size{};
        size.ws_row = static_cast<unsigned short>(height);
        size.ws_col = static_cast<unsigned short>(width);
        ioctl(Master, TIOCSWINSZ, &size);
    }

    // Reads everything the terminal holds now; returns false when nothing was there.
    bool ReadAvailable(bool feed) {
        if (Master < 0)
            return false;
        char buffer[65536];
        bool any = false;
        for (;;) {
            ssize_t n = read(Master, buffer, sizeof buffer);
            if (n > 0) {
                any = true;
                if (feed)
                    vterm_input_write(Term, buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return any;
        }
    }

    bool ChildGone() {
        if (Ended)
            return true;
        pollfd p{ChildFd, POLLIN, 0};
        if (ChildFd >= 0 && poll(&p, 1, 0) > 0)
            Ended = true;
        return Ended;
    }
};

TConsole& TConsole::Instance() {
    static TConsole console;
    return console;
}

TConsole::TConsole() : Impl(std::make_unique<TImpl>()) {}

TConsole::~TConsole() = default;

bool TConsole::Prepare(int width, int height) {
    if (!Impl->Open(width, height))
        return false;
    // Whatever an earlier tool left unread must not show on this run's screen.
    Impl->ReadAvailable(false);
    Impl->Resize(width, height);
    vterm_screen_reset(Impl->Screen, 1);
    return true;
}

bool TConsole::Start(const std::vector<std::string>& argv, const std::string& workFolder) {
    if (argv.empty() || Impl->Child > 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    // A session leader that opens the terminal without O_NOCTTY takes it as controlling terminal,
    // so the tool sees a real console and its whole process group can be ended at once.
    if (Impl->Master >= 0)
        posix_spawn_file_actions_addopen(&actions, 0, Impl->SlaveName.c_str(), O_RDWR, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_adddup2(&actions, 0, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!workFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workFolder.c_str());

    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> args = argv;
    std::vector<std::string> env = BuildEnvironment();
    std::vector<char*> argp = PointersTo(args);
    std::vector<char*> envp = PointersTo(env);

    // Orphans of the tool come to us while it runs, so a killed group leaves no zombie behind.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0].c_str(), &actions, &attr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        return false;
    }
    Impl->Child = pid;
    Impl->Ended = false;
    Impl->ChildFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    return true;
}

bool TConsole::Wait(int timeoutMs) {
    if (Impl->Child <= 0)
        return true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Impl->ChildGone())
            return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left < 0)
            left = 0;
        pollfd fds[2] = {{Impl->ChildFd, POLLIN, 0}, {Impl->Master, POLLIN, 0}};
        int ready = 0;
        if (Impl->ChildFd >= 0) {
            ready = poll(fds, Impl->Master >= 0 ? 2 : 1, static_cast<int>(left));
        } else {
            // Without a pidfd the end can only be seen by asking.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(left, 5)));
            if (waitpid(Impl->Child, nullptr, WNOHANG | WNOWAIT) == Impl->Child)
                Impl->Ended = true;
        }
        if (ready < 0 && errno != EINTR)
            Impl->Ended = true;
        if (ready > 0 && (fds[1].revents & POLLIN))
            Impl->ReadAvailable(true);
        if (ready > 0 && (fds[0].revents & POLLIN))
            Impl->Ended = true;
        if (Impl->Ended)
            return true;
        if (left == 0)
            return false;
    }
}

void TConsole::Terminate() {
    if (Impl->Child > 0)
        kill(-Impl->Child, SIGKILL);
}

void TConsole::Finish() {
    if (Impl->Child <= 0)
        return;
    // The kernel finishes passing queued output on before a read of the master reports it empty.
    Impl->ReadAvailable(true);
    pid_t group = Impl->Child;
    while (waitpid(Impl->Child, nullptr, 0) < 0 && errno == EINTR) {
    }
    // Anything the tool left running in its group would write into the next tool's screen.
    kill(-group, SIGKILL);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < until) {
        pid_t reaped = waitpid(-group, nullptr, WNOHANG);
        if (reaped < 0)
            break;
        if (reaped == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    if (Impl->ChildFd >= 0)
        close(Impl->ChildFd);
    Impl->ChildFd = -1;
    Impl->Child = -1;
    Impl->Ended = false;
}

std::vector<std::string> TConsole::Snapshot() const {
    std::vector<std::string> lines;
    if (!Impl->Term)
        return lines;
    std::vector<char> buffer(static_cast<size_t>(Impl->Width) * 4 + 4);
    std::size_t lastText = 0;
    for (int row = 0; row < Impl->Height; ++row) {
        VTermRect rect{row, row + 1, 0, Impl->Width};
        size_t n = vterm_screen_get_text(Impl->Screen, buffer.data(), buffer.size(), rect);
        n = std::min(n, buffer.size());
        while (n > 0 && IsTrailingJunk(static_cast<unsigned char>(buffer[n - 1])))
            --n;
        lines.emplace_back(buffer.data(), n);
        if (n > 0)
            lastText = lines.size() - 1;
    }
    lines.resize(lastText + 1);
    return lines;
}

} // namespace platform
