#pragma once

#include "pipeline/Base.h"

// A WAV file is its own decoded WAV: nothing is run, and the file is never deleted; only a cover
// from beside it is.
class TWav : public TBase {
public:
    TWav();

    bool AcceptsFile(const std::string& fileName) override;
    void MakeWavName() override;
    bool Decode() override;
    void DeleteWav() override;
    // With NameAsTitle, the file name becomes the title; otherwise there are no tags.
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;
};
