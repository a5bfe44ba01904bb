#include "FuzzCheck.h"
#include "pipeline/CueSheet.h"
#include "tags/ApeTagReader.h"
#include "tags/FlacCueSheet.h"
#include "tags/MemorySource.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// Whatever the sheet, a parse that succeeds gives tracks a cut can follow, in UTF-8, and one that
// fails names the sheet.
void CheckSheet(std::string_view bytes) {
    TCueSheet sheet;
    if (!sheet.Parse(bytes, "fuzz.cue")) {
        if (!sheet.Error().starts_with("fuzz.cue"))
            std::abort();
        return;
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
}

} // namespace

// The bytes as a sheet, and as a FLAC or APE file whose sheet inside goes the same way.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckSheet(std::string_view(reinterpret_cast<const char*>(data), size));
    TMemorySource flac(std::span(data, size));
    const std::string fromFlac = TFlacCueSheet::Read(flac, "fuzz.flac", TCueSheet::MaxBytes);
    if (fromFlac.size() > TCueSheet::MaxBytes)
        std::abort();
    if (!fromFlac.empty())
        CheckSheet(fromFlac);
    TMemorySource ape(std::span(data, size));
    const std::string fromApe = TApeTagReader().ReadCueSheet(ape, TCueSheet::MaxBytes);
    if (!fromApe.empty())
        CheckSheet(fromApe);
    return 0;
}
