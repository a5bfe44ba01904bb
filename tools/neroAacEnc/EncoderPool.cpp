#include "EncoderPool.h"

#include <csignal>
#include <pthread.h>
#include <system_error>

TEncoderPool::TEncoderPool(const TEncoderSetup& setup, std::atomic<std::int64_t>& done)
    : Setup(setup), Done(done) {}

bool TEncoderPool::Start(int threads) {
    // Workers never take the signals that remove an unfinished output: that stays with the
    // thread that owns the file.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    bool ok = true;
    try {
        while (static_cast<int>(Workers.size()) < threads)
            Workers.emplace_back([this] { Work(); });
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

void TEncoderPool::Work() {
    TSegmentEncoder encoder(Setup);
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
        // A worker that cannot allocate fails its segment, and so the run, not the process.
        try {
            encoder.Encode(*job.Segment, job.PreRoll, &Done);
        } catch (const std::bad_alloc&) {
            job.Segment->Error = "out of memory";
        }
        // Handing it back allocates nothing, so that a worker out of memory still can.
        {
            std::lock_guard<std::mutex> guard(Lock);
            job.Segment->Finished = true;
        }
        JobFinished.notify_all();
    }
}
