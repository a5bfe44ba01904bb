#pragma once

#include "pipeline/Base.h"
#include "sources/AvProbe.h"
#include "tags/TagLibReader.h"

#include <optional>
#include <string>

// Any other audio file FFmpeg's libraries decode (WavPack, ALAC, AIFF, TTA, Ogg Vorbis, Opus,
// WMA, WAV files that are not PCM, ...), known by its content: decoded by avdec, tagged from
// its container's own tag kind.
class TAvAudio : public TBase {
public:
    TAvAudio();

    // A file with one of the extensions these formats go by, or any file libavformat finds audio
    // in. A named one that holds none fails its decode with the decoder's reason.
    bool AcceptsFile(const std::string& fileName) override;
    bool Decode() override;
    void CollectTags() override;
    std::optional<TPcmSize> PcmSize() override;

    // The extensions the cue list and the file manager offer for this kind.
    static bool KnownExtension(const std::string& fileName);

protected:
    bool ReadEmbeddedCover() override;

private:
    // What libavformat makes of the source, read once: the room check, the tags and the cover
    // all ask.
    const std::optional<TAvProbe>& Probe();
    TTagLibReader::TContainer Container();

    bool Probed = false;
    std::optional<TAvProbe> ProbeResult;
};
