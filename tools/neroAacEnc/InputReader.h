#pragma once

#include "InputSequence.h"
#include "common/WavReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SwrContext;

// Reads the joined stream of the inputs from any sample on, as planar floats. Every encoding
// thread has its own, so a segment and its pre-roll come straight from the files and memory
// does not grow with the channels or the rate. Only the input being read is open.
class TInputReader {
public:
    explicit TInputReader(const TInputSequence& inputs);
    TInputReader(const TInputReader&) = delete;
    TInputReader& operator=(const TInputReader&) = delete;
    ~TInputReader();

    // Reads from now on from sample `first` of the stream.
    bool Seek(std::uint64_t first);
    // Reads the next count samples of every channel, all of them or fail, as the sample
    // converter makes floats of them.
    bool Read(float* const* planes, int count);
    const std::string& Error() const { return Err; }

private:
    bool Open(std::size_t index, std::uint64_t offset);
    bool Fail(const std::string& reason);

    const TInputSequence& Inputs;
    std::size_t Index = 0;
    std::unique_ptr<TWavReader> Current;
    SwrContext* Converter = nullptr;
    std::vector<std::uint8_t> Buffer;
    std::string Err;
};
