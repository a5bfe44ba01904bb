#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The gapless playback figures of an MP4's audio track, read from its index (moov): the priming
// the edit list skips, the samples it plays and the padding left in the last packet, as the
// iTunSMPB text of Apple's players carries them.
class TGaplessInfo {
public:
    // AAC-LC codes 1024 samples a packet.
    static constexpr std::uint64_t PacketSamples = 1024;
    // The length of every iTunSMPB text.
    static constexpr std::size_t TextLength = 116;
    // The length of the freeform "----" box carrying that text.
    static constexpr std::size_t BoxLength = 188;

    std::uint64_t Priming = 0;
    std::uint64_t Samples = 0;
    std::uint64_t Padding = 0;
    std::uint64_t Packets = 0;

    // Reads the moov box of the file at fd, wherever it lies; false without one or without an
    // audio track. sampleRate converts the track's and the movie's time units into samples.
    bool Read(int fd, int sampleRate);
    // " 00000000 " then priming, padding and the 16-digit sample count in upper-case hex, then
    // the eight zero fields.
    std::string Text() const;
    // Turns the ilst's "©too" box whose text is tool followed by BoxLength placeholder bytes into
    // a "©too" box of tool alone and the freeform iTunSMPB box behind it, in place: no size or
    // offset in the file changes. False when that box is not there.
    bool WriteInto(int fd, const std::string& tool) const;

private:
    std::uint64_t MoovStart = 0;
    std::vector<std::uint8_t> Moov;
};
