#include "cli/StopSignals.h"

#include "cli/Batch.h"

#include <pthread.h>
#include <unistd.h>

TStopSignals::TStopSignals(TBatch& batch) : Batch(batch) {
    sigemptyset(&Set);
    // SIGUSR1 only ends the wait.
    for (int signal : {SIGINT, SIGTERM, SIGUSR1})
        sigaddset(&Set, signal);
    pthread_sigmask(SIG_BLOCK, &Set, nullptr);
    Watcher = std::thread([this] { Watch(); });
}

TStopSignals::~TStopSignals() {
    pthread_kill(Watcher.native_handle(), SIGUSR1);
    Watcher.join();
}

void TStopSignals::Watch() {
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
