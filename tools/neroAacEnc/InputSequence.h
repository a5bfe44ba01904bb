#pragma once

#include "common/WavFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One input and the part of it to read: its samples from First up to, not including, End (to its
// end without one).
struct TInputFile {
    std::string Path;
    std::uint64_t First = 0;
    std::optional<std::uint64_t> End;
};

// The inputs taken one after another as one stream of samples: their headers, read once, and
// where each one's part lies in the stream. Readers of the stream share it, read only.
class TInputSequence {
public:
    struct TInput {
        std::string Path;
        TWavFormat Format;
        // The first sample of the part read, within the file, and where it lies in the stream.
        std::uint64_t First = 0;
        std::uint64_t Start = 0;
        // Of the part read.
        std::uint64_t Frames = 0;
    };

    explicit TInputSequence(std::vector<TInputFile> files);

    // Reads every header, one file at a time; false with Error() when one cannot be read, does
    // not match the first in sample rate and channels, or is shorter than its part.
    bool Scan();
    const std::vector<TInput>& Inputs() const { return List; }
    int Channels() const { return List.empty() ? 0 : List[0].Format.Channels; }
    int SampleRate() const { return List.empty() ? 0 : List[0].Format.SampleRate; }
    std::uint64_t TotalFrames() const { return Total; }
    const std::string& Error() const { return Err; }

    // How an input is named in a message.
    std::string Which(std::size_t index) const;

private:
    bool Fail(const std::string& reason);

    std::vector<TInputFile> Files;
    std::vector<TInput> List;
    std::uint64_t Total = 0;
    std::string Err;
};
