#pragma once

#include "SegmentEncoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Worker threads that each encode one segment at a time, first come first served. The caller
// owns the segments; it hands one over with Submit and may touch it again once Finished says so.
class TEncoderPool {
public:
    TEncoderPool(const TEncoderSetup& setup, std::atomic<std::int64_t>& done);
    TEncoderPool(const TEncoderPool&) = delete;
    TEncoderPool& operator=(const TEncoderPool&) = delete;
    // Drops the segments not yet started and waits for the ones being encoded.
    ~TEncoderPool();

    // False with Error() when the system refuses a thread; the ones started stay.
    bool Start(int threads);
    const std::string& Error() const { return Err; }
    void Submit(TSegment& segment, int preRollFrames);
    // Waits at most timeout for the segment; true once it is encoded (or has failed).
    bool WaitFinished(const TSegment& segment, std::chrono::milliseconds timeout);

private:
    struct TJob {
        TSegment* Segment;
        int PreRoll;
    };
    void Work();

    TEncoderSetup Setup;
    std::atomic<std::int64_t>& Done;
    std::mutex Lock;
    std::condition_variable JobReady;
    std::condition_variable JobFinished;
    std::deque<TJob> Jobs;
    bool Stopping = false;
    std::vector<std::thread> Workers;
    std::string Err;
};
