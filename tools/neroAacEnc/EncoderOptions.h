#pragma once

#include "InputSequence.h"
#include "SegmentPlan.h"

#include <string>
#include <vector>

// The encoder's command line: a rate mode, the inputs in order and the output.
class TEncoderOptions {
public:
    enum class TMode { Quality, ConstantBitrate, AverageBitrate };

    TMode Mode = TMode::Quality;
    double Quality = 0.5;
    long Bitrate = 0;
    std::vector<TInputFile> Inputs;
    // Instead of the inputs: the file they are listed in as each becomes complete, how many
    // are to come and the samples they are expected to hold in all, which the stream is cut for.
    std::string AwaitList;
    std::size_t AwaitCount = 0;
    std::int64_t ExpectedFrames = 0;
    std::string Output;
    bool Help = false;
    // The threads the stream is cut for; 0 means as many as this process may use.
    int Threads = 0;
    // Frames each segment's encoder is fed before its start, and the most a segment is given
    // again when its first frame does not follow on from the segment before.
    int PreRoll = TSegmentPlan::PreRollFrames;
    int MaxPreRoll = TSegmentPlan::MaxPreRollFrames;
    // After the encode, a line with its wall time and each thread's busy and processor time.
    bool ShowTiming = false;
    // Off only to show what an unchecked splice sounds like.
    bool CheckSplices = true;

    // False with Error() for a command line the encoder cannot follow.
    bool Parse(const std::vector<std::string>& args);
    const std::string& Error() const { return Err; }

    // The average bitrate for the whole stream, clamped to what AAC can carry at that rate.
    long TargetBitrate(int channels, int sampleRate) const;
    std::string Describe(int channels, int sampleRate) const;

    static const char* HelpText();

private:
    bool Fail(const std::string& reason);

    std::string Err;
};
