#pragma once

#include "pipeline/Base.h"
#include "pipeline/CueSheet.h"

#include <memory>

// The decode of one image, shared by the tracks cut from it: the first track that needs it
// decodes it, and the last one done with it removes its WAV.
struct TCueImage {
    std::unique_ptr<TBase> Source;
    bool Decoded = false;
    bool TagsRead = false;
    bool CoverSearched = false;
    // Tracks that still hold the WAV.
    int Users = 0;
    // Of the WAV, once decoded.
    std::uint64_t Frames = 0;
    std::uint32_t Rate = 0;
};

// One track of a sheet: the samples of its image's WAV from its INDEX 01 to the next track's,
// tagged from the sheet and, where the sheet says nothing, from the image.
class TCueTrack : public TBase {
public:
    TCueTrack(std::shared_ptr<const TCueSheet> sheet, std::string sheetPath, std::size_t track,
              std::shared_ptr<TCueImage> image);

    // Only its image.
    bool AcceptsFile(const std::string& fileName) override;
    int WavLength() override;
    void MakeWavName() override {}
    bool Decode() override;
    void DeleteWav() override;
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;
    TBase& Image() override { return *Shared->Source; }
    std::string InputRange() const override;
    // "NN - Title", with what a file name cannot hold replaced.
    std::string OutputStem() const override;
    // The album's tags: its title as the file's, its performer, date and genre.
    std::vector<std::string> FileMetaArgs() const override;

    // The samples of the image's WAV it takes, First up to End; set by Decode.
    std::uint64_t First = 0;
    std::uint64_t End = 0;

protected:
    bool ReadEmbeddedCover() override;

private:
    const TCueSheet::TTrack& Track() const { return Sheet->Tracks[Index]; }
    // The sheet's value, else the image's tag.
    std::string Either(const std::string& sheet, TTagField field) const;
    std::string Where() const;
    // "n/m" or "n" from the sheet's disc remarks; empty when it has none.
    std::string DiscText() const;
    // "1" for a sheet that calls itself a compilation, else empty.
    std::string CompilationText() const;

    std::shared_ptr<const TCueSheet> Sheet;
    std::string SheetPath;
    std::size_t Index;
    std::shared_ptr<TCueImage> Shared;
    bool Released = false;
};
