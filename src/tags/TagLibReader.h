#pragma once

#include "tags/TagField.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The tags and front cover of the formats the FFmpeg-decoded source kind takes, read through
// TagLib: it reads APEv2 (WavPack, TTA), MP4 atoms (ALAC, AAC), ID3v2 in AIFF and WAV, Vorbis
// comments with their METADATA_BLOCK_PICTURE (Ogg Vorbis, Opus) and ASF attributes with
// WM/Picture (WMA) into one property map, so every kind reads alike.
class TTagLibReader {
public:
    // The container as libavformat named it when it read the file's content.
    enum class TContainer { None, WavPack, TrueAudio, Mp4, Aiff, Wav, OggVorbis, OggOpus, Asf };

    // From libavformat's format name and the audio codec's name.
    static TContainer ContainerOf(const std::string& format, const std::string& codec);

    // The values found into tagValues (AllTagFieldCount of them, indexed by TTagField); what the
    // file does not say stays empty. False when the file cannot be read as that container.
    static bool ReadTags(const std::string& path, TContainer container,
                         std::span<std::string> tagValues);
    // The front cover, else the first picture; empty without one or above maxBytes.
    static std::vector<std::uint8_t> ReadFrontCover(const std::string& path, TContainer container,
                                                    std::size_t maxBytes);
};
