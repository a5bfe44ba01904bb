#include "EncoderPool.h"

#include <algorithm>
#include <csignal>
#include <pthread.h>

TEncoderPool::TEncoderPool(int threads, const TEncoderSetup& setup, std::atomic<std::int64_t>& done)
    : Setup(setup), Done(done) {
    // Workers never take the signals that remove an unfinished output: that stays with the
    // thread that owns the file.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    for (int i = 0; i < threads; ++i)
        Workers.emplace_back([this] { Work(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
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
        Jobs.push_back({&segment, preRollFrames});
    }
    JobReady.notify_one();
}

bool TEncoderPool::WaitFinished(const TSegment& segment, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(Lock);
    const auto found = [&] {
        return std::find(Finished.begin(), Finished.end(), &segment) != Finished.end();
    };
    if (!JobFinished.wait_for(guard, timeout, found))
        return false;
    Finished.erase(std::find(Finished.begin(), Finished.end(), &segment));
    return true;
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
        encoder.Encode(*job.Segment, job.PreRoll, &Done);
        {
            std::lock_guard<std::mutex> guard(Lock);
            Finished.push_back(job.Segment);
        }
        JobFinished.notify_all();
    }
}
