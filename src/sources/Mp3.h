#pragma once

#include "pipeline/Base.h"

#include <optional>
#include <string>

// An MP3 file: decoded by lame, tagged from its ID3v2 tag or, when that gives nothing, from its
// ID3v1 tag. The two are never merged.
class TMp3 : public TBase {
public:
    TMp3();

    bool AcceptsFile(const std::string& fileName) override;
    bool Decode() override;
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;

    // The poll handler of the decoder run.
    void ParseLameProgress();

    // The percent of a "Frame#  1234/5678  128 kbps" line, not clamped; nothing when the line
    // has no usable frame counts.
    static std::optional<int> LameProgressValue(const std::string& line);

protected:
    bool ReadEmbeddedCover() override;

private:
    // Each appends all seven arguments and the further ones, and keeps them only when one value
    // is non-empty.
    bool ReadId3v2();
    bool ReadId3v1();
    // Sets the field and appends its argument; true when the value is non-empty.
    bool AddTag(std::string& field, const char* name, const std::string& value);
};
