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

// Worker threads that each encode one segment at a time, in the order they were handed over.
// The caller owns the segments; it hands one over with Submit and may touch it again once
// Finished says so.
class TEncoderPool {
public:
    // What one worker spent on segments: seconds from taking each to handing it back, and the
    // processor time it was given for them.
    struct TWorkerTime {
        double Busy = 0;
        double Cpu = 0;
    };

    TEncoderPool(const TEncoderSetup& setup, const TInputSequence& inputs,
                 std::atomic<std::int64_t>& done);
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
    // Of every worker started, so far.
    std::vector<TWorkerTime> Times();

private:
    struct TJob {
        TSegment* Segment;
        int PreRoll;
    };
    void Work(std::size_t worker);

    TEncoderSetup Setup;
    const TInputSequence& Inputs;
    std::atomic<std::int64_t>& Done;
    std::mutex Lock;
    std::condition_variable JobReady;
    std::condition_variable JobFinished;
    std::deque<TJob> Jobs;
    bool Stopping = false;
    std::vector<TWorkerTime> WorkerTimes;
    std::vector<std::thread> Workers;
    std::string Err;
};
