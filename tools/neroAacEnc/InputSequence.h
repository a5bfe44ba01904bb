#pragma once

#include "SampleStore.h"
#include "common/WavReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SwrContext;

// The inputs read one after another as one stream of samples, one plane per channel.
// Only the input being read is open, so a join of thousands of files needs one descriptor.
class TInputSequence {
public:
    struct TInput {
        std::string Path;
        TWavFormat Format;
        std::uint64_t Frames = 0;
    };

    explicit TInputSequence(std::vector<std::string> paths);
    TInputSequence(const TInputSequence&) = delete;
    TInputSequence& operator=(const TInputSequence&) = delete;
    ~TInputSequence();

    // Reads every header, one file at a time; false with Error() when one cannot be read or
    // does not match the first in sample rate and channels.
    bool Scan();
    const std::vector<TInput>& Inputs() const { return List; }
    int Channels() const { return List.empty() ? 0 : List[0].Format.Channels; }
    int SampleRate() const { return List.empty() ? 0 : List[0].Format.SampleRate; }
    std::uint64_t TotalFrames() const { return Total; }
    // Whether every input holds integer samples of 16 bits or fewer.
    bool Narrow() const { return AllNarrow; }

    // Appends the next count samples of each channel to the store (fewer only at the end).
    bool Read(TSampleStore& store, std::int64_t count);
    const std::string& Error() const { return Err; }

private:
    bool OpenNext();
    bool Fail(const std::string& reason);
    std::string Which(std::size_t index) const;

    std::vector<std::string> Paths;
    std::vector<TInput> List;
    std::uint64_t Total = 0;
    bool AllNarrow = true;
    std::size_t Next = 0;
    std::unique_ptr<TWavReader> Current;
    SwrContext* Converter = nullptr;
    std::vector<std::uint8_t> Buffer;
    std::string Err;
};
