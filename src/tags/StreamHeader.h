#pragma once

#include "tags/ByteSource.h"

#include <cstdint>
#include <optional>

// How much PCM a compressed file decodes to, read from its own header before anything is
// decoded: a job learns the room its temporary WAVs need without running a decoder.
struct TPcmSize {
    std::uint32_t SampleRate = 0;
    unsigned Channels = 0;
    unsigned BytesPerSample = 0;
    std::uint64_t Frames = 0;

    std::uint64_t Bytes() const { return Frames * Channels * BytesPerSample; }
};

// From STREAMINFO; nothing when the stream does not say how many samples it holds.
std::optional<TPcmSize> ReadFlacPcmSize(TByteSource& file);
// From the APE descriptor and header (or the header of files before version 3.98).
// Nothing too for a header that claims more audio than the file can hold.
std::optional<TPcmSize> ReadApePcmSize(TByteSource& file);
// The APE header declares more frames than its seek table holds, or a seek table past the
// file's end: the file is damaged.
bool ApeHeaderOverruns(TByteSource& file);
// As lame decodes it, 16 bits a sample: from the Xing/Info or VBRI frame count of the first
// frame, else from the file's size and the first frame's bitrate, with a margin for a VBR
// stream without a frame count.
std::optional<TPcmSize> ReadMp3PcmSize(TByteSource& file);
