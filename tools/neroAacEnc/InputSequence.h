#pragma once

#include "SampleStore.h"
#include "common/WavReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SwrContext;

// One input and the part of it to read: its samples from First up to, not including, End (to its
// end without one).
struct TInputFile {
    std::string Path;
    std::uint64_t First = 0;
    std::optional<std::uint64_t> End;
};

// The inputs read one after another as one stream of samples, one plane per channel.
// Only the input being read is open, so a join of thousands of files needs one descriptor.
class TInputSequence {
public:
    struct TInput {
        std::string Path;
        TWavFormat Format;
        // Of the part read.
        std::uint64_t Frames = 0;
    };

    explicit TInputSequence(std::vector<TInputFile> files);
    TInputSequence(const TInputSequence&) = delete;
    TInputSequence& operator=(const TInputSequence&) = delete;
    ~TInputSequence();

    // Reads every header, one file at a time; false with Error() when one cannot be read, does
    // not match the first in sample rate and channels, or is shorter than its part.
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

    std::vector<TInputFile> Files;
    std::vector<TInput> List;
    std::uint64_t Total = 0;
    bool AllNarrow = true;
    std::size_t Next = 0;
    std::unique_ptr<TWavReader> Current;
    SwrContext* Converter = nullptr;
    std::vector<std::uint8_t> Buffer;
    std::string Err;
};
