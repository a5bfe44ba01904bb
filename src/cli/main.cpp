// parvane-convert: the job of the window for whole libraries, from the command line.
#include "cli/Batch.h"
#include "cli/Library.h"
#include "cli/Options.h"
#include "cli/Progress.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

const int ExitFailed = 1;
const int ExitUsage = 2;
const int ExitStopped = 130;

// Waits for SIGINT and SIGTERM on a thread of its own, so that a stop can take locks and reach
// every job: the first stops the run, a second ends the program at once. SIGUSR1 ends the wait.
class TStopSignals {
public:
    explicit TStopSignals(TBatch& batch) : Batch(batch) {
        sigemptyset(&Set);
        for (int signal : {SIGINT, SIGTERM, SIGUSR1})
            sigaddset(&Set, signal);
        // Blocked before any other thread starts, so every thread inherits it; the tools get
        // the default mask back when they start.
        pthread_sigmask(SIG_BLOCK, &Set, nullptr);
        Watcher = std::thread([this] { Watch(); });
    }
    ~TStopSignals() {
        pthread_kill(Watcher.native_handle(), SIGUSR1);
        Watcher.join();
    }
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

private:
    void Watch() {
        for (bool stopped = false;;) {
            int signal = 0;
            if (sigwait(&Set, &signal) != 0 || signal == SIGUSR1)
                return;
            if (stopped)
                _exit(ExitStopped);
            stopped = true;
            Batch.Stop();
        }
    }

    TBatch& Batch;
    sigset_t Set;
    std::thread Watcher;
};

} // namespace

int main(int argc, char** argv) {
    const TOptions options = TOptions::Parse(argc, argv);
    switch (options.Action) {
    case TOptions::TAction::Help:
        std::fputs(TOptions::HelpText().c_str(), stdout);
        return 0;
    case TOptions::TAction::Version:
        std::fputs(TOptions::VersionText().c_str(), stdout);
        return 0;
    case TOptions::TAction::Usage:
        std::fprintf(stderr,
                     "parvane-convert: %s\nTry 'parvane-convert --help' for more information.\n",
                     options.Error.c_str());
        return ExitUsage;
    case TOptions::TAction::Run:
        break;
    }

    const bool terminal = isatty(STDERR_FILENO) == 1;
    TProgress progress(options.Progress == TOptions::TProgress::Always ||
                           (options.Progress == TOptions::TProgress::Auto && terminal),
                       options.Quiet);
    TLibrary library(options);
    library.Walk();

    if (options.DryRun) {
        bool refused = false;
        for (const std::string& line : library.PlanLines())
            std::printf("%s\n", line.c_str());
        for (const TItem& item : library.Items)
            if (!item.Error.empty()) {
                std::fprintf(stderr, "parvane-convert: %s\n", item.Error.c_str());
                refused = true;
            }
        return refused ? ExitFailed : 0;
    }

    TBatch batch(library.Items, options, progress);
    {
        TStopSignals signals(batch);
        batch.Run();
    }
    if (!options.Quiet)
        std::fprintf(stderr, "%zu converted, %zu skipped, %zu failed%s\n", batch.Converted,
                     batch.Skipped, batch.Failed, batch.Stopped() ? "; stopped" : "");
    if (batch.Stopped())
        return ExitStopped;
    return batch.Failed > 0 ? ExitFailed : 0;
}
