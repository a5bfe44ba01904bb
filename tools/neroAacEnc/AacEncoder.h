#pragma once

#include "AacWindow.h"
#include "EncoderOptions.h"
#include "EncoderPool.h"
#include "InputSequence.h"
#include "Segment.h"
#include "SegmentEncoder.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVPacket;
struct AVStream;
class TFdIo;
class TProgressLine;

// Encodes the inputs, in order, as one continuous AAC-LC stream into one MP4 file, with a
// chapter at the first sample of each input when there are several. The stream is cut into
// segments that worker threads read from the inputs and encode at once; this thread hands them
// out, checks every splice and writes the packets in order.
class TAacEncoder {
public:
    explicit TAacEncoder(const TEncoderOptions& options);
    TAacEncoder(const TAacEncoder&) = delete;
    TAacEncoder& operator=(const TAacEncoder&) = delete;
    ~TAacEncoder();

    // Gives the exit code; every failure has printed its reason.
    int Run();
    // How many segments were encoded again because their first frame did not join.
    int Retries() const { return RetryCount; }

private:
    void PrintPlan() const;
    bool OpenMuxer(TFdIo& io, const TSegmentEncoder& probe);
    bool Encode(TProgressLine& progress, const TSegmentEncoder& probe);
    // Reads the inputs listed since, and once all are there, fits the plan to their true end;
    // false when an input cannot be used.
    bool Await();
    // The segment's samples, its post-roll included, are all there.
    bool Ready(std::size_t index) const;
    // The segments the memory budget lets be in flight, at most one per thread planned for.
    std::size_t SegmentsInFlight() const;
    int ThreadCount() const;
    bool Splice(TSegment& segment);
    bool Write(const TSegment& segment);
    void ShowProgress(TProgressLine& progress);
    void PrintTiming() const;
    bool Fail(const std::string& reason, int code = 0);

    const TEncoderOptions& Options;
    TInputSequence Inputs;
    TEncoderSetup Setup;
    // The -threads the plan is made for: given, or the processors this process may use.
    int PlanThreads = 1;
    // The stream's length the cuts are made for: its own, or the one expected of the inputs to
    // come.
    std::int64_t PlannedFrames = 0;
    // The plan has been fitted to the inputs' true end.
    bool PlanFitted = false;
    std::vector<TSegmentBounds> Plan;
    std::deque<std::unique_ptr<TSegment>> InFlight;
    std::atomic<std::int64_t> SamplesDone{0};
    std::int64_t ShownSeconds = -1;

    AVFormatContext* Muxer = nullptr;
    AVStream* Stream = nullptr;
    avhelpers::TPacketPtr Packet;
    TFdIo* Io = nullptr;
    // The windows of the last frame written, channel by channel, which the next segment must
    // continue.
    std::vector<TAacWindow::TChannel> Previous;
    std::uint64_t PacketBytes = 0;
    int RetryCount = 0;
    // From the workers' start to the last segment handed back, and what each worker spent of it.
    double EncodeSeconds = 0;
    std::vector<TEncoderPool::TWorkerTime> WorkerTimes;
    std::string Err;
};
