#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What libavformat makes of a file's content: its container and the audio stream it would
// decode. Reads the headers only.
struct TAvProbe {
    // libavformat's short name ("wv", "mov,mp4,m4a,3gp,3g2,mj2", "ogg", ...).
    std::string Format;
    // The audio codec's name ("wavpack", "alac", "opus", ...).
    std::string Codec;
    std::uint32_t SampleRate = 0;
    unsigned Channels = 0;
    // Of the decoded samples: the raw bits for PCM-like codecs, 32-bit float for lossy ones.
    unsigned BytesPerSample = 0;
    // Samples per channel the container declares; 0 when it does not say.
    std::uint64_t Frames = 0;

    // Nothing when libavformat does not recognise the file or finds no audio stream in it.
    static std::optional<TAvProbe> Read(const std::string& path);
};
