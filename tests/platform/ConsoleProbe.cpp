// The tool the console tests run: each mode shows one way a real tool behaves in the terminal.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void PrintHex(int index, const char* arg) {
    std::printf("ARG %d ", index);
    for (const char* p = arg; *p; ++p)
        std::printf("%02x", static_cast<unsigned char>(*p));
    std::printf(".\n");
}

int Unhex(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "argv") {
        for (int i = 2; i < argc; ++i)
            PrintHex(i - 2, argv[i]);
        std::printf("END %d\n", argc - 2);
    } else if (mode == "raw" && argc > 2) {
        // Bytes given in hex, so tests can push escape sequences and bare control characters.
        std::string bytes;
        for (const char* p = argv[2]; p[0] && p[1]; p += 2)
            bytes += static_cast<char>(Unhex(p[0]) * 16 + Unhex(p[1]));
        fwrite(bytes.data(), 1, bytes.size(), stdout);
    } else if (mode == "lines" && argc > 2) {
        for (int i = 1, n = std::atoi(argv[2]); i <= n; ++i)
            std::printf("line %d\n", i);
    } else if (mode == "cwd") {
        char buffer[4096];
        std::printf("%s\n", getcwd(buffer, sizeof buffer) ? buffer : "?");
    } else if (mode == "env" && argc > 2) {
        const char* value = std::getenv(argv[2]);
        std::printf("%s=%s\n", argv[2], value ? value : "(unset)");
    } else if (mode == "sleep" && argc > 2) {
        usleep(static_cast<useconds_t>(std::atoi(argv[2])) * 1000);
        std::printf("slept\n");
    } else if (mode == "flood" && argc > 2) {
        long total = std::atol(argv[2]);
        std::string row(99, 'x');
        row += '\n';
        for (long done = 0; done < total; done += static_cast<long>(row.size()))
            fwrite(row.data(), 1, row.size(), stdout);
        std::printf("flood done\n");
    } else if (mode == "stubborn") {
        // Ignores SIGTERM and leaves a grandchild behind: only killing the group ends both.
        std::signal(SIGTERM, SIG_IGN);
        pid_t grandchild = fork();
        if (grandchild == 0) {
            for (;;)
                pause();
        }
        std::printf("child %d grandchild %d\n", static_cast<int>(getpid()),
                    static_cast<int>(grandchild));
        std::fflush(stdout);
        for (;;)
            pause();
    } else if (mode != "exit") {
        std::fprintf(stderr,
                     "usage: console-probe argv|raw|lines|cwd|env|sleep|flood|stubborn|exit\n");
        return 2;
    }
    return 0;
}
