#pragma once

#include <csignal>
#include <thread>

class TBatch;

// Waits for SIGINT and SIGTERM on a thread of its own, so that a stop can take locks and reach
// every job: the first stops the run, a second ends the program at once. Made before any other
// thread starts, so that every thread inherits the blocked signals; the tools get the default
// mask back when they start.
class TStopSignals {
public:
    // The exit status of a run stopped by a signal, as the shell reports SIGINT.
    static constexpr int ExitStopped = 130;

    explicit TStopSignals(TBatch& batch);
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

private:
    void Watch();

    TBatch& Batch;
    sigset_t Set;
    std::thread Watcher;
};
