#pragma once

#include "common/FdIo.h"
#include "common/OutputFile.h"

#include <memory>
#include <string>

// The WAV a decoder tool writes. It may be handed over missing or as an empty file (a
// reservation), never with content; after any failure it is left an empty file, after success
// it holds the whole decode.
class TDecodeTarget {
public:
    explicit TDecodeTarget(std::string path);

    // Why the target may not be written; empty when it may.
    std::string Refusal();
    // Opens the file the decode writes into; false with Error().
    bool Create();
    // Where the decoder writes; valid after Create.
    AVIOContext* Context() { return Io->Context(); }
    // Drops what was written and leaves the target an empty file.
    void Fail();
    // Flushes and gives the file its name; false with Error(), the target left empty where the
    // write itself failed.
    bool Commit();
    const std::string& Error() const { return Err; }

private:
    std::string Path;
    bool Reserved = false;
    TOutputFile Out;
    std::unique_ptr<TFdIo> Io;
    std::string Err;
};
