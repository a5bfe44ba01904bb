#pragma once

#include "pipeline/Base.h"
#include "tags/ApeTagReader.h"

#include <optional>
#include <string>

// A Monkey's Audio file: decoded by mac, tagged from its APEv2 tag and ID3v1 trailer.
class TApe : public TBase {
public:
    TApe();

    bool AcceptsFile(const std::string& fileName) override;
    bool Decode() override;
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;

    // The poll handler of the decoder run.
    void ParseProgress();
    // The title from the file name when asked and the tags have none, then the seven arguments.
    void BuildMetaArgs();

    // The whole percent of a "Progress: 45.3% (...)" line; nothing when the line has none.
    static std::optional<int> ProgressValue(const std::string& line);

protected:
    bool ReadEmbeddedCover() override;

private:
    TApeTagReader TagReader;
};
