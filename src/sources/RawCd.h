#pragma once

#include "pipeline/Base.h"

// A raw CD audio image, as a sheet's FILE ... BINARY (little-endian) or MOTOROLA (big-endian)
// names it: 16-bit stereo samples at 44.1 kHz without any header. Its decode is the same samples
// behind a WAV header, in the WAV's byte order.
class TRawCd : public TBase {
public:
    explicit TRawCd(bool bigEndian);

    // Whatever the name: only a sheet says a file is one.
    bool AcceptsFile(const std::string& fileName) override;
    bool Decode() override;
    // With NameAsTitle, the file name becomes the title; the image holds no tags.
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;

private:
    bool BigEndian;
};
