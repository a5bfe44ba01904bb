#pragma once

#include "TagOptions.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
class TFdIo;

// Rewrites an MP4 file with new tags, chapter names and cover by copying its audio packets (and
// the cover it has, unless a new one is given) into a new file beside it, which then takes the
// original's place.
class TMp4Tagger {
public:
    explicit TMp4Tagger(const TTagOptions& options);
    TMp4Tagger(const TMp4Tagger&) = delete;
    TMp4Tagger& operator=(const TMp4Tagger&) = delete;
    ~TMp4Tagger();

    // Gives the exit code; every failure has printed its reason.
    int Run();

private:
    bool ReadCover();
    bool OpenInput();
    bool OpenOutput(TFdIo& io);
    void SetFileTags();
    bool SetChapters();
    bool WriteCover();
    bool CopyPackets();
    // iTunSMPB into the finished file, in the room the ©too box left for it.
    bool WriteGaplessInfo();
    bool Fail(const std::string& reason, int code = 0);

    const TTagOptions& Options;
    std::string Path;
    AVFormatContext* Input = nullptr;
    AVFormatContext* Output = nullptr;
    TFdIo* Io = nullptr;
    // The new file, which the writer's second pass reads back.
    int OutputFd = -1;
    // The output stream of each input stream, -1 for those left out.
    std::vector<int> StreamMap;
    int TagsWritten = 0;
    // The new front cover's bytes and codec (an AVCodecID), and its output stream.
    std::vector<std::uint8_t> CoverBytes;
    int CoverCodec = 0;
    int CoverWidth = 0;
    int CoverHeight = 0;
    int CoverStream = -1;
    std::string Err;
};
