#pragma once

#include "pipeline/Base.h"

#include <optional>
#include <string>

// A FLAC file: its tags come from metaflac's NAME=value lines on the console screen, its audio
// from flac.
class TFlac : public TBase {
public:
    TFlac();

    bool AcceptsFile(const std::string& fileName) override;
    bool Decode() override;
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;

    // The poll handler of the decoder run.
    void ParseProgress();

    // The percent of a "name.flac: 45% complete" line; nothing when the line has none.
    static std::optional<int> ProgressValue(const std::string& line);

protected:
    // metaflac exports the picture the file's own blocks name as the front cover.
    bool ReadEmbeddedCover() override;

private:
    void StoreTagLine(const std::string& line);
};
