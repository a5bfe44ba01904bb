#include "pipeline/Base.h"

#include "pipeline/PathParts.h"
#include "pipeline/Wavinfo.h"
#include "platform/AppFolder.h"
#include "platform/AsciiText.h"
#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/ImageHeader.h"
#include "platform/TempFile.h"
#include "tags/FileSource.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <utility>

bool TBase::AcceptsFile(const std::string& /*fileName*/) {
    return false;
}

int TBase::WavLength() {
    TWavInfo info;
    info.ReadHeader(WavFile);
    return info.Seconds();
}

void TBase::MakeWavName() {
    if (!AbortAsked())
        WavFile = platform::CreateTempWav();
}

bool TBase::Decode() {
    return false;
}

void TBase::DeleteWav() {
    Cover.Remove();
    if (platform::FileExists(WavFile))
        platform::DeleteFile(WavFile);
}

void TBase::CollectTags() {}

std::string TBase::OutputStem() const {
    return pipeline::StripExtension(pipeline::FileNamePart(SrcFile));
}

std::optional<TPcmSize> TBase::ReadPcmSize(std::optional<TPcmSize> (*reader)(TByteSource&)) const {
    TFileSource file;
    return file.Open(SrcFile) ? reader(file) : std::nullopt;
}

void TBase::FindCover() {
    if (AbortAsked() || Failed || !platform::FileExists(WavFile))
        return;
    if (!ReadEmbeddedCover())
        ReadFolderCover();
}

bool TBase::IsCoverImage(std::span<const std::uint8_t> image) {
    return image.size() <= MaxCoverBytes && platform::ReadImageHeader(image).Width > 0;
}

bool TBase::KeepCover(std::span<const std::uint8_t> image) {
    if (!IsCoverImage(image) || !Cover.Create())
        return false;
    std::ofstream out(Cover.Path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out)
        Cover.Remove();
    return !Cover.Path().empty();
}

bool TBase::CoverFileOk() {
    const auto image = platform::ReadSmallFile(Cover.Path(), MaxCoverBytes);
    if (image && IsCoverImage(*image))
        return true;
    Cover.Remove();
    return false;
}

// The names in order of preference; among names differing only in letter case the folder's
// listing order decides.
bool TBase::ReadFolderCover() {
    static constexpr const char* Names[] = {"cover", "folder", "front"};
    static constexpr const char* Extensions[] = {".jpg", ".jpeg", ".png"};
    const std::string folder = pipeline::FolderPart(SrcFile);
    const std::vector<std::string> files = platform::FolderFileNames(folder.empty() ? "." : folder);
    for (const char* name : Names) {
        for (const char* extension : Extensions) {
            for (const std::string& file : files) {
                if (platform::AsciiLower(file) != std::string(name) + extension)
                    continue;
                const auto image = platform::ReadSmallFile(folder + file, MaxCoverBytes);
                if (image && KeepCover(*image))
                    return true;
            }
        }
    }
    return false;
}

void TBase::SetAbort(const TAbortState& abort) {
    Abort = &abort;
    Cons.Abort = &abort;
}

void TBase::SetSrcFile(const std::string& path) {
    if (SrcFile.empty() && platform::FileExists(path) && AcceptsFile(path))
        SrcFile = path;
}

bool TBase::CheckFile(const std::string& path) {
    if (!platform::FileExists(path))
        return false;
    const std::int64_t size = platform::FileSize(path);
    TWavInfo info;
    info.ReadHeader(path);
    SampleRate = info.Valid ? info.SampleRate() : 0;
    Channels = info.Valid ? info.Channels() : 0;
    return size >= TWavInfo::HeaderSize() && (Kind != KindWav || info.Valid);
}

// Paths and command lines are UTF-8 here, so the code-page round trip keeps every byte and only
// the quoting is left.
std::string TBase::QuoteArg(const std::string& text) {
    return platform::QuoteText(text);
}

std::string TBase::Utf8ToText(std::string_view bytes) {
    return platform::Utf8ToText(bytes);
}

std::string TBase::MetaArg(const std::string& name, const std::string& value) {
    return "-meta:" + name + "=" + QuoteArg(value);
}

std::optional<int> TBase::ParseInteger(std::string_view text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return std::nullopt;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

std::string TBase::FileTitle() const {
    return pipeline::StripExtension(pipeline::FileNamePart(SrcFile));
}

bool TBase::RunDecoder(const char* tool, const std::string& arguments,
                       std::function<void()> parser) {
    const std::string folder = platform::AppFolder();
    const std::string toolPath = folder + tool;
    if (!platform::FileExists(toolPath))
        return false;
    // With no output name a decoder would choose its own, beside the source.
    if (WavFile.empty()) {
        Failed = !AbortAsked();
        if (Failed)
            ErrorLines = {"No temporary file could be created for the decoded audio."};
        return false;
    }
    Percent = 0;
    if (OnProgress)
        OnProgress(*this);
    Cons.OnPoll = [parser = std::move(parser)](TCons&) { parser(); };
    const bool result =
        Cons.Run("Converting to WAV...", QuoteArg(toolPath) + " " + arguments, folder, false);
    TWavInfo decoded;
    decoded.ReadHeader(WavFile);
    // A header alone is no decoded audio: lame leaves one for a file it finds no frames in.
    if (WavFileOk() && platform::FileSize(WavFile) > TWavInfo::HeaderSize() &&
        !decoded.Truncated()) {
        Percent = 100;
    } else {
        ErrorLines = Cons.ScreenLines;
        // A decoder that died midway wrote the full length into the header and left less.
        if (decoded.Truncated())
            ErrorLines.insert(ErrorLines.begin(),
                              "The decoded audio of " + SrcFile + " ends before its length.");
        Failed = true;
        // What a failed decoder left must not reach the encoder.
        DeleteWav();
    }
    if (OnProgress)
        OnProgress(*this);
    return result;
}

void TBase::ParseScreen(std::optional<int> (*lineValue)(const std::string& line)) {
    int highest = 0;
    for (const std::string& line : Cons.ScreenLines) {
        const std::optional<int> value = lineValue(line);
        if (!value)
            continue;
        Percent = *value;
        if (*value > highest) {
            highest = *value;
            if (OnProgress)
                OnProgress(*this);
        }
    }
}

std::string TBase::SrcArg() const {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(SrcFile, error);
    return QuoteArg(error ? SrcFile : absolute.string());
}

void TBase::AppendAllMetaArgs() {
    struct TMetaField {
        TTagField Field;
        std::string TBase::*Value;
        const char* Name;
    };
    static constexpr TMetaField MetaFields[] = {
        {TTagField::Title, &TBase::Title, "Title"},
        {TTagField::Artist, &TBase::Artist, "Artist"},
        {TTagField::Track, &TBase::Track, "Track"},
        {TTagField::Album, &TBase::Album, "Album"},
        {TTagField::Comment, &TBase::Comment, "Comment"},
        {TTagField::Genre, &TBase::Genre, "Genre"},
        {TTagField::Year, &TBase::Year, "Year"},
    };
    for (const TMetaField& field : MetaFields) {
        this->*field.Value = TagValue(field.Field);
        MetaArgs.push_back(MetaArg(field.Name, this->*field.Value));
    }
    AppendFurtherMetaArgs();
}

bool TBase::AppendFurtherMetaArgs() {
    static constexpr std::pair<TTagField, const char*> Further[] = {
        {TTagField::AlbumArtist, "AlbumArtist"}, {TTagField::Disc, "Disc"},
        {TTagField::TrackTotal, "TrackTotal"},   {TTagField::Composer, "Composer"},
        {TTagField::Compilation, "Compilation"},
    };
    std::string& total = TagValue(TTagField::TrackTotal);
    const std::string& track = TagValue(TTagField::Track);
    if (total.empty() && track.find('/') != std::string::npos)
        total = track.substr(track.find('/') + 1);
    std::string& compilation = TagValue(TTagField::Compilation);
    const bool isCompilation = ParseInteger(compilation) == 1;
    compilation.clear();
    if (isCompilation)
        compilation.push_back('1');
    bool found = false;
    for (const auto& [field, name] : Further) {
        MetaArgs.push_back(MetaArg(name, TagValue(field)));
        found = found || !TagValue(field).empty();
    }
    return found;
}
