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
        // As the sheet gives them.
        std::string Name, Type;
        int Line = 0;
    };
    struct TTrack {
        // 0 for the audio before track 1's INDEX 01, when there is more than a second of it.
        int Number = 0;
        std::string Title, Performer, Songwriter;
        // Into Files: the file its INDEX 01 lies in.
        std::size_t File = 0;
        // INDEX 01 in CD frames, 75 a second.
        std::uint32_t Start = 0;
        // Where the next track of its file starts, data tracks included; 0 at the file's end.
        std::uint32_t End = 0;
        // The line of its TRACK command.
        int Line = 0;
    };

    // The album's texts; all UTF-8.
    std::string Title, Performer, Date, Genre, Comment, Composer, Disc, TotalDiscs;
    bool Compilation = false;
    std::vector<TFile> Files;
    // The audio tracks only.
    std::vector<TTrack> Tracks;
    // What was left out of a sheet that is still used: unknown commands, data tracks.
    std::vector<std::string> Warnings;

    static constexpr int FramesPerSecond = 75;
    // The largest sheet read; real ones take a few kB.
    static constexpr std::size_t MaxBytes = std::size_t{1} << 20;

    // The sheet's bytes: by a byte order mark, as UTF-16 when its zero bytes say so, as UTF-8
    // when they are that, else in the 8-bit code page (0: the system's) unless a charset
    // detector names one of a script that code page does not hold. False with Error() naming
    // sheetName and the line for anything it cannot use.
    bool Parse(std::string_view bytes, const std::string& sheetName, int codePage = 0);
    // Reads and parses the file; false with Error() as Parse, or when it cannot be read.
    bool Load(const std::string& path, int codePage = 0);
    const std::string& Error() const { return Err; }

    // The first sample of a CD frame position at this sample rate: the exact time of the frame.
    static std::uint64_t SampleAt(std::uint32_t frames, std::uint32_t sampleRate);
    // "mm:ss:ff", as a sheet writes a position.
    static std::string TimeText(std::uint64_t frames);
    // The end of track i in its file, in CD frames; 0 when it runs to the file's end.
    std::uint32_t EndOf(std::size_t track) const { return Tracks[track].End; }

    // The image of a FILE line beside the sheet: by its name in the sheet (a folder part ignored
    // when it is not there), then by that name with another audio extension, then, for a sheet
    // of one file, by the sheet's own name without ".cue" or with an audio extension instead.
    // Empty when none is there.
    std::string FindImage(const std::string& sheetPath, std::size_t file) const;

private:
    // The sheet's bytes as UTF-8 text, decoded as Parse says.
    static std::string Text(std::string_view bytes, int codePage);
    bool Fail(int line, const std::string& reason);

    std::string Sheet;
    std::string Err;
};
