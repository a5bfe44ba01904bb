// Prints how much a console run of a tool that ends at once costs over a bare spawn and wait,
// and what one snapshot of a full screen costs.
#include "pipeline/Cons.h"
#include "platform/Console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double SpawnAndWait(const char* tool) {
    auto start = Clock::now();
    pid_t pid;
    char* argv[] = {const_cast<char*>(tool), nullptr};
    if (posix_spawn(&pid, tool, nullptr, nullptr, argv, environ) == 0)
        waitpid(pid, nullptr, 0);
    return Ms(Clock::now() - start);
}

double ConsRun(TCons& cons, const std::string& tool) {
    auto start = Clock::now();
    cons.Run("bench", "\"" + tool + "\"", "0", false);
    return Ms(Clock::now() - start);
}

} // namespace

int main() {
    const char* tool = "/bin/true";
    const int runs = 200;
    TCons cons;
    ConsRun(cons, tool); // the first run opens the terminal
    std::vector<double> bare, console;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(SpawnAndWait(tool));
        console.push_back(ConsRun(cons, tool));
    }
    double b = Median(bare), c = Median(console);
    std::printf("%-34s %10s %10s %8s %s\n", "benchmark", "ours ms", "base ms", "ratio", "goal");
    std::printf("%-34s %10.3f %10.3f %8.2f %s %s\n", "Run of a tool ending at once", c, b, c / b,
                "diff < 3 ms", c - b < 3.0 ? "pass" : "FAIL");
    std::printf("result\tconsole run of a tool ending at once\t%.3f ms\t%.3f ms\t%.3f\tdiff < 3 "
                "ms\t%s\n",
                c, b, c / b, c - b < 3.0 ? "pass" : "FAIL");

    std::string full;
    for (int row = 0; row < 200; ++row)
        full += std::string(265, static_cast<char>('a' + row % 26));
    cons.Run("bench", "/usr/bin/printf " + full.substr(0, full.size() - 1), "0", false);
    std::vector<double> snaps;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        auto lines = platform::TConsole::Instance().Snapshot();
        snaps.push_back(Ms(Clock::now() - start));
        if (lines.size() != 200)
            std::printf("unexpected snapshot of %zu rows\n", lines.size());
    }
    double s = Median(snaps);
    std::printf("%-34s %10.3f %10.3f %8.2f %s %s\n", "Snapshot of a full 265x200 screen", s, 2.0,
                s / 2.0, "< 2 ms", s < 2.0 ? "pass" : "FAIL");
    std::printf("result\tsnapshot of a full 265x200 screen\t%.3f ms\t2.000 ms\t%.3f\t< 2 ms\t%s\n",
                s, s / 2.0, s < 2.0 ? "pass" : "FAIL");
    return 0;
}
