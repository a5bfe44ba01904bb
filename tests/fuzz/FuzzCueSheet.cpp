#include "FuzzCheck.h"
#include "pipeline/CueSheet.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

// Whatever the sheet, a parse that succeeds gives tracks a cut can follow, in UTF-8, and one that
// fails names the sheet.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TCueSheet sheet;
    if (!sheet.Parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.cue")) {
        if (!sheet.Error().starts_with("fuzz.cue"))
            std::abort();
        return 0;
    }
    if (sheet.Tracks.empty() || sheet.Files.empty())
        std::abort();
    for (const std::string* text :
         {&sheet.Title, &sheet.Performer, &sheet.Date, &sheet.Genre, &sheet.Comment,
          &sheet.Composer, &sheet.Disc, &sheet.TotalDiscs})
        RequireUtf8(*text);
    for (const std::string& warning : sheet.Warnings)
        if (!warning.starts_with("fuzz.cue"))
            std::abort();
    for (std::size_t i = 0; i < sheet.Tracks.size(); ++i) {
        const TCueSheet::TTrack& track = sheet.Tracks[i];
        RequireUtf8(track.Title);
        RequireUtf8(track.Performer);
        RequireUtf8(track.Songwriter);
        // Track 0 is the audio before the first track, and only that.
        if (track.File >= sheet.Files.size() || track.Number < (i == 0 ? 0 : 1) ||
            track.Number > 99)
            std::abort();
        if (i > 0 &&
            (track.Number <= sheet.Tracks[i - 1].Number || track.File < sheet.Tracks[i - 1].File))
            std::abort();
        const std::uint32_t end = sheet.EndOf(i);
        if (end != 0 && end <= track.Start)
            std::abort();
    }
    return 0;
}
