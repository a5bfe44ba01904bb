#include "sources/CueTrack.h"

#include "pipeline/PathParts.h"
#include "pipeline/Wavinfo.h"
#include "platform/Files.h"

#include <algorithm>

namespace {

// Room enough for the number and a long title on any file system.
constexpr std::size_t MaxStemBytes = 200;

std::string TwoDigits(int number) {
    std::string text = std::to_string(number);
    if (number < 10)
        text.insert(text.begin(), '0');
    return text;
}

// What no file system the output may go to can hold in a name becomes '_'.
std::string FileNameText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    if (text.size() > MaxStemBytes) {
        std::size_t cut = MaxStemBytes;
        // Not inside a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace

TCueTrack::TCueTrack(std::shared_ptr<const TCueSheet> sheet, std::string sheetPath,
                     std::size_t track, std::shared_ptr<TCueImage> image)
    : Sheet(std::move(sheet)), SheetPath(std::move(sheetPath)), Index(track),
      Shared(std::move(image)) {
    Kind = Shared->Source->Kind;
    ++Shared->Users;
}

bool TCueTrack::AcceptsFile(const std::string& fileName) {
    return fileName == Shared->Source->SrcFile;
}

std::string TCueTrack::Where() const {
    return SheetPath + ", line " + std::to_string(Track().Line) + ": track " +
           TwoDigits(Track().Number);
}

bool TCueTrack::Decode() {
    TBase& image = *Shared->Source;
    const bool first = !Shared->Decoded;
    if (first) {
        image.OnProgress = [this](TBase& decoding) {
            Percent = decoding.Percent;
            if (OnProgress)
                OnProgress(*this);
        };
        image.Decode();
        image.OnProgress = nullptr;
        Shared->Decoded = true;
        TWavInfo info;
        info.ReadHeader(image.WavFile);
        if (!image.Failed && info.Valid && info.Format().BlockAlign > 0) {
            Shared->Rate = static_cast<std::uint32_t>(info.SampleRate());
            Shared->Frames = info.DataBytes() / info.Format().BlockAlign;
        }
    }
    WavFile = image.WavFile;
    Failed = image.Failed;
    ErrorLines.clear();
    if (Failed) {
        // The image's own words once; its other tracks only point at them.
        ErrorLines = first ? image.ErrorLines
                           : std::vector<std::string>{Where() + ": its image " + image.SrcFile +
                                                      " could not be decoded"};
        return false;
    }
    if (Shared->Rate == 0)
        return false;
    const std::uint32_t endFrame = Sheet->EndOf(Index);
    First = TCueSheet::SampleAt(Track().Start, Shared->Rate);
    End = endFrame ? TCueSheet::SampleAt(endFrame, Shared->Rate) : Shared->Frames;
    if (First >= Shared->Frames) {
        Failed = true;
        const std::uint64_t length = Shared->Frames * TCueSheet::FramesPerSecond / Shared->Rate;
        ErrorLines = {Where() + " starts at " + TCueSheet::TimeText(Track().Start) +
                      ", past the end of " + image.SrcFile + " (" + TCueSheet::TimeText(length) +
                      ")"};
        return false;
    }
    End = std::min(End, Shared->Frames);
    Percent = 100;
    return true;
}

int TCueTrack::WavLength() {
    if (Failed || Shared->Rate == 0)
        return -1;
    return static_cast<int>((End - First) / Shared->Rate);
}

void TCueTrack::DeleteWav() {
    Cover.Remove();
    if (Released)
        return;
    Released = true;
    if (--Shared->Users == 0)
        Shared->Source->DeleteWav();
}

std::string TCueTrack::Either(const std::string& sheet, TTagField field) const {
    return sheet.empty() ? Shared->Source->TagValue(field) : sheet;
}

void TCueTrack::CollectTags() {
    if (!Shared->TagsRead) {
        Shared->Source->CollectTags();
        Shared->TagsRead = true;
    }
    const TCueSheet::TTrack& track = Track();
    TagValue(TTagField::Title) =
        track.Title.empty() ? "Track " + TwoDigits(track.Number) : track.Title;
    TagValue(TTagField::Artist) =
        Either(track.Performer.empty() ? Sheet->Performer : track.Performer, TTagField::Artist);
    TagValue(TTagField::Track) =
        std::to_string(track.Number) + "/" + std::to_string(Sheet->Tracks.back().Number);
    TagValue(TTagField::Album) = Either(Sheet->Title, TTagField::Album);
    TagValue(TTagField::Comment) = Either(Sheet->Comment, TTagField::Comment);
    TagValue(TTagField::Genre) = Either(Sheet->Genre, TTagField::Genre);
    TagValue(TTagField::Year) = Either(Sheet->Date, TTagField::Year);
    TagValue(TTagField::AlbumArtist) = Either(Sheet->Performer, TTagField::AlbumArtist);
    TagValue(TTagField::Composer) =
        Either(track.Songwriter.empty() ? Sheet->Composer : track.Songwriter, TTagField::Composer);
    TagValue(TTagField::Disc) = Either(DiscText(), TTagField::Disc);
    TagValue(TTagField::Compilation) = Either(CompilationText(), TTagField::Compilation);
    MetaArgs.clear();
    AppendAllMetaArgs();
}

std::vector<std::string> TCueTrack::FileMetaArgs() const {
    const std::string album = Either(Sheet->Title, TTagField::Album);
    return {MetaArg("Title", album),
            MetaArg("Artist", Either(Sheet->Performer, TTagField::Artist)),
            MetaArg("Album", album),
            MetaArg("Comment", Either(Sheet->Comment, TTagField::Comment)),
            MetaArg("Genre", Either(Sheet->Genre, TTagField::Genre)),
            MetaArg("Year", Either(Sheet->Date, TTagField::Year)),
            MetaArg("AlbumArtist", Either(Sheet->Performer, TTagField::AlbumArtist)),
            MetaArg("Disc", Either(DiscText(), TTagField::Disc)),
            MetaArg("Compilation", Either(CompilationText(), TTagField::Compilation))};
}

std::string TCueTrack::DiscText() const {
    if (Sheet->Disc.empty() || Sheet->Disc.find('/') != std::string::npos)
        return Sheet->Disc;
    return Sheet->Disc + (Sheet->TotalDiscs.empty() ? "" : "/" + Sheet->TotalDiscs);
}

std::string TCueTrack::CompilationText() const {
    return Sheet->Compilation ? "1" : "";
}

std::optional<TPcmSize> TCueTrack::PcmSize() {
    std::optional<TPcmSize> size = Shared->Source->PcmSize();
    if (!size)
        return size;
    const std::uint32_t endFrame = Sheet->EndOf(Index);
    const std::uint64_t first = TCueSheet::SampleAt(Track().Start, size->SampleRate);
    const std::uint64_t end = std::min(
        endFrame ? TCueSheet::SampleAt(endFrame, size->SampleRate) : size->Frames, size->Frames);
    size->Frames = end > first ? end - first : 0;
    return size;
}

std::string TCueTrack::InputRange() const {
    return std::to_string(First) + ":" + std::to_string(End);
}

std::string TCueTrack::OutputStem() const {
    const std::string title =
        Track().Title.empty() ? "Track " + TwoDigits(Track().Number) : Track().Title;
    return FileNameText(TwoDigits(Track().Number) + " - " + title);
}

bool TCueTrack::ReadEmbeddedCover() {
    TBase& image = *Shared->Source;
    if (!Shared->CoverSearched) {
        image.FindCover();
        Shared->CoverSearched = true;
    }
    if (image.Cover.Path().empty())
        return false;
    const auto bytes = platform::ReadSmallFile(image.Cover.Path(), MaxCoverBytes);
    return bytes && KeepCover(*bytes);
}
