#include "EncoderPool.h"

#include <csignal>
#include <ctime>
#include <pthread.h>
#include <system_error>

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace

TEncoderPool::TEncoderPool(const TEncoderSetup& setup, const TInputSequence& inputs,
                           std::atomic<std::int64_t>& done)
    : Setup(setup), Inputs(inputs), Done(done) {}

bool TEncoderPool::Start(int threads) {
    // Workers never take the signals that remove an unfinished output: that stays with the
    // thread that owns the file.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    bool ok = true;
    try {
        WorkerTimes.resize(static_cast<std::size_t>(threads));
        Workers.reserve(static_cast<std::size_t>(threads));
        while (static_cast<int>(Workers.size()) < threads) {
            const std::size_t worker = Workers.size();
            Workers.emplace_back([this, worker] { Work(worker); });
        }
    } catch (const std::system_error& e) {
        Err = "cannot start an encoding thread: " + std::string(e.what());
        ok = false;
    } catch (const std::bad_alloc&) {
        Err = "out of memory starting the encoding threads";
        ok = false;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

TEncoderPool::~TEncoderPool() {
    {
        std::lock_guard<std::mutex> guard(Lock);
        Stopping = true;
        Jobs.clear();
    }
    JobReady.notify_all();
    for (auto& worker : Workers)
        worker.join();
}

void TEncoderPool::Submit(TSegment& segment, int preRollFrames) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        segment.Finished = false;
        Jobs.push_back({&segment, preRollFrames});
    }
    JobReady.notify_one();
}

bool TEncoderPool::WaitFinished(const TSegment& segment, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(Lock);
    return JobFinished.wait_for(guard, timeout, [&] { return segment.Finished; });
}

std::vector<TEncoderPool::TWorkerTime> TEncoderPool::Times() {
    std::lock_guard<std::mutex> guard(Lock);
    return {WorkerTimes.begin(), WorkerTimes.begin() + static_cast<std::ptrdiff_t>(Workers.size())};
}

void TEncoderPool::Work(std::size_t worker) {
    TSegmentEncoder encoder(Setup, Inputs);
    for (;;) {
        TJob job{};
        {
            std::unique_lock<std::mutex> guard(Lock);
            JobReady.wait(guard, [this] { return Stopping || !Jobs.empty(); });
            if (Stopping)
                return;
            job = Jobs.front();
            Jobs.pop_front();
        }
        const auto started = std::chrono::steady_clock::now();
        const double cpuStarted = ThreadCpuSeconds();
        // A worker that cannot allocate fails its segment, and so the run, not the process.
        try {
            encoder.Encode(*job.Segment, job.PreRoll, &Done);
        } catch (const std::bad_alloc&) {
            job.Segment->Error = "out of memory";
        }
        // Handing it back allocates nothing, so that a worker out of memory still can.
        const std::chrono::duration<double> busy = std::chrono::steady_clock::now() - started;
        const double cpu = ThreadCpuSeconds() - cpuStarted;
        {
            std::lock_guard<std::mutex> guard(Lock);
            job.Segment->Finished = true;
            WorkerTimes[worker].Busy += busy.count();
            WorkerTimes[worker].Cpu += cpu;
        }
        JobFinished.notify_all();
    }
}
