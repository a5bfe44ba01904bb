#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A CD image's sheet: its files and the audio tracks in them, with the texts for their tags. A
// track runs from its INDEX 01 to the next track's in the same file, or to that file's end, so a
// pregap (INDEX 00) plays with the track before it, as a CD player plays it.
class TCueSheet {
public:
    struct TFile {
        // As the sheet gives it.
        std::string Name;
        int Line = 0;
    };
    struct TTrack {
        int Number = 0;
        std::string Title, Performer, Songwriter;
        // Into Files: the file its INDEX 01 lies in.
        std::size_t File = 0;
        // INDEX 01 in CD frames, 75 a second.
        std::uint32_t Start = 0;
        // The line of its TRACK command.
        int Line = 0;
    };

    // The album's texts; all UTF-8.
    std::string Title, Performer, Date, Genre, Comment;
    std::vector<TFile> Files;
    std::vector<TTrack> Tracks;

    static constexpr int FramesPerSecond = 75;
    // The largest sheet read; real ones take a few kB.
    static constexpr std::size_t MaxBytes = std::size_t{1} << 20;

    // The sheet's bytes: UTF-8 with or without a BOM, else Windows-1252. False with Error()
    // naming sheetName and the line for anything it cannot use.
    bool Parse(std::string_view bytes, const std::string& sheetName);
    // Reads and parses the file; false with Error() as Parse, or when it cannot be read.
    bool Load(const std::string& path);
    const std::string& Error() const { return Err; }

    // The first sample of a CD frame position at this sample rate: the exact time of the frame.
    static std::uint64_t SampleAt(std::uint32_t frames, std::uint32_t sampleRate);
    // "mm:ss:ff", as a sheet writes a position.
    static std::string TimeText(std::uint64_t frames);
    // The end of track i in its file, in CD frames; 0 when it runs to the file's end.
    std::uint32_t EndOf(std::size_t track) const;

    // The image of a FILE line beside the sheet: by its name in the sheet (a folder part ignored
    // when it is not there), then by that name with another audio extension, then, for a sheet
    // of one file, by the sheet's own name with one. Empty when none is there.
    std::string FindImage(const std::string& sheetPath, std::size_t file) const;

private:
    bool Fail(int line, const std::string& reason);

    std::string Sheet;
    std::string Err;
};
