#pragma once

#include "pipeline/Base.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// A FLAC file: its tags come from the NAME=value lines metaflac exports, its audio from flac.
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
    // One line of the lister's export, or of its screen when there is no export.
    void StoreTagLine(const std::string& line, bool exported);
    // The values listed for each field into TagValues.
    void StoreValues();

    // The fields read besides TagNames: album artist, disc number and total, track total,
    // composer, compilation.
    static constexpr std::size_t FurtherFieldCount = 6;
    // The values of TagNames, then of the further fields, in the order listed.
    std::array<std::vector<std::string>, TagFieldCount + FurtherFieldCount> Listed;
    std::vector<std::string>* LastValues = nullptr;
};
