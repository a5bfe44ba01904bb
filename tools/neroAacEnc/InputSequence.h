#pragma once

#include "common/WavFormat.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One input and the part of it to read: its samples from First up to, not including, End (to its
// end without one).
struct TInputFile {
    std::string Path;
    std::uint64_t First = 0;
    std::optional<std::uint64_t> End;

    // Takes FIRST:END or FIRST: in samples.
    static bool ParseRange(const std::string& text, TInputFile& file);
};

// The inputs taken one after another as one stream of samples: their headers, read once, and
// where each one's part lies in the stream. Inputs may arrive while the stream is read: they are
// then listed, as each is complete, in a file another process writes. Readers of the stream
// share it and see the inputs arrived so far, read only.
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
    // The count inputs listed in listFile, one line each, "FIRST:END", "FIRST:" or nothing, a
    // tab and the path.
    TInputSequence(std::string listFile, std::size_t count);

    // Reads the header of every input listed and not yet read, one file at a time; false with
    // Error() when one cannot be read, does not match the first in sample rate and channels, or
    // is shorter than its part.
    bool Scan();
    // Every input is there.
    bool Complete() const { return Arrived.load(std::memory_order_acquire) == List.size(); }
    std::span<const TInput> Inputs() const {
        return {List.data(), Arrived.load(std::memory_order_acquire)};
    }
    std::size_t Expected() const { return List.size(); }
    int Channels() const { return Inputs().empty() ? 0 : List[0].Format.Channels; }
    int SampleRate() const { return Inputs().empty() ? 0 : List[0].Format.SampleRate; }
    // Of the inputs arrived.
    std::uint64_t TotalFrames() const;
    const std::string& Error() const { return Err; }

    // How an input is named in a message.
    std::string Which(std::size_t index) const;

private:
    bool Fail(const std::string& reason);
    // Adds the files newly listed in ListFile; false with Error() for a line it cannot use.
    bool ReadList();

    std::string ListFile;
    std::vector<TInputFile> Files;
    // Sized once, so that readers may index the entries arrived while the next one is filled.
    std::vector<TInput> List;
    std::atomic<std::size_t> Arrived{0};
    std::string Err;
};
