#include "sources/Mp3.h"

#include "pipeline/PathParts.h"
#include "platform/ToolNames.h"
#include "tags/FileSource.h"
#include "tags/Id3v1library.h"
#include "tags/Id3v2library.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

bool IsFieldSeparator(char c) {
    return c == ' ' || c == ',' || static_cast<unsigned char>(c) < 0x20;
}

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsFieldSeparator(text[at]))
            ++at;
        const std::size_t start = at;
        while (at < text.size() && !IsFieldSeparator(text[at]))
            ++at;
        if (at > start)
            fields.push_back(text.substr(start, at - start));
    }
    return fields;
}

std::optional<std::uint64_t> Decimal(std::string_view field) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

// TYER, else the year at the front of a TDRC timestamp, as later tags keep it.
// Version 4 lists genres as values of their own, references among them; each one named once.
std::string Id3v2Genre(const TID3v2Tag& tag) {
    std::vector<std::string> names;
    for (const std::string& value : tag.GetUnicodeTexts("TCON"))
        if (std::string name = ID3v2GenreToString(value);
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : "; ") + name;
    return joined;
}

std::string Id3v2Year(const TID3v2Tag& tag) {
    std::string year = tag.GetUnicodeText("TYER");
    if (!year.empty())
        return year;
    const std::string recorded = tag.GetUnicodeText("TDRC");
    const bool digits =
        recorded.size() >= 4 && std::all_of(recorded.begin(), recorded.begin() + 4,
                                            [](char c) { return c >= '0' && c <= '9'; });
    return digits ? recorded.substr(0, 4) : std::string();
}

// The first comment that is not one of the machine data frames some players write, whose
// descriptions begin with "iTun" (loudness, gapless playback and the like in hexadecimal).
std::string Id3v2Comment(const TID3v2Tag& tag) {
    for (int i = 0; i < tag.FrameCount(); ++i) {
        if (std::string_view(tag.Frames[i]->ID.data(), 4) != "COMM")
            continue;
        TLanguageID language{};
        std::string description;
        std::string comment = tag.GetUnicodeComment(i, language, description);
        if (!description.starts_with("iTun"))
            return comment;
    }
    return {};
}

} // namespace

TMp3::TMp3() {
    Kind = KindMp3;
}

bool TMp3::AcceptsFile(const std::string& fileName) {
    return pipeline::LowerExtension(fileName) == ".mp3";
}

std::optional<TPcmSize> TMp3::PcmSize() {
    return ReadPcmSize(ReadMp3PcmSize);
}

bool TMp3::Decode() {
    MakeWavName();
    return RunDecoder(platform::LameTool, "--decode " + SrcArg() + " " + QuoteArg(WavFile),
                      [this] { ParseLameProgress(); });
}

void TMp3::ParseLameProgress() {
    ParseScreen(&TMp3::LameProgressValue);
}

std::optional<int> TMp3::LameProgressValue(const std::string& line) {
    if (line.find("Frame#") == std::string::npos)
        return std::nullopt;
    // The label's length goes from the front: the line is expected to start with it.
    std::string rest = line.substr(6);
    for (char& c : rest)
        if (c == '/')
            c = ' ';
    const std::vector<std::string_view> fields = Fields(rest);
    if (fields.size() < 2)
        return std::nullopt;
    const std::optional<std::uint64_t> current = Decimal(fields[0]);
    const std::optional<std::uint64_t> total = Decimal(fields[1]);
    if (!current || !total || *total == 0)
        return std::nullopt;
    // Half values go up. A frame beyond the estimated total reads above 100, as lame shows it.
    const double percent =
        100.0 * static_cast<double>(*current) / static_cast<double>(*total) + 0.5;
    if (percent >= static_cast<double>(INT_MAX))
        return std::nullopt;
    return static_cast<int>(percent);
}

void TMp3::CollectTags() {
    if (!ReadId3v2())
        ReadId3v1();
    if (Title.empty() && NameAsTitle) {
        // Either reader put its title first; Title itself stays as the tag had it.
        const std::string title = MetaArg("Title", FileTitle());
        if (MetaArgs.empty())
            MetaArgs.push_back(title);
        else
            MetaArgs.front() = title;
    }
}

bool TMp3::ReadEmbeddedCover() {
    TFileSource file;
    TID3v2Tag tag;
    return file.Open(SrcFile) && KeepCover(tag.ReadFrontCover(file, MaxCoverBytes));
}

bool TMp3::AddTag(std::string& field, const char* name, const std::string& value) {
    field = value;
    MetaArgs.push_back(MetaArg(name, field));
    return !field.empty();
}

bool TMp3::ReadId3v2() {
    TID3v2Tag tag;
    tag.CodePage = CodePage;
    // A file without the tag simply gives empty values.
    tag.LoadFromFile(SrcFile);
    bool found = false;
    found |= AddTag(Title, "Title", tag.GetUnicodeText("TIT2"));
    found |= AddTag(Artist, "Artist", tag.GetUnicodeText("TPE1"));
    found |= AddTag(Track, "Track", tag.GetUnicodeText("TRCK"));
    found |= AddTag(Album, "Album", tag.GetUnicodeText("TALB"));
    found |= AddTag(Genre, "Genre", Id3v2Genre(tag));
    found |= AddTag(Year, "Year", Id3v2Year(tag));
    found |= AddTag(Comment, "Comment", Id3v2Comment(tag));
    TagValue(TTagField::Track) = Track;
    TagValue(TTagField::AlbumArtist) = tag.GetUnicodeText("TPE2");
    TagValue(TTagField::Disc) = tag.GetUnicodeText("TPOS");
    TagValue(TTagField::Composer) = tag.GetUnicodeText("TCOM");
    TagValue(TTagField::Compilation) = tag.GetUnicodeText("TCMP");
    found |= AppendFurtherMetaArgs();
    if (!found)
        MetaArgs.clear();
    return found;
}

bool TMp3::ReadId3v1() {
    TID3v1Tag tag;
    tag.CodePage = CodePage;
    tag.LoadFromFile(SrcFile);
    const std::string track = tag.Track == 0 ? std::string() : std::to_string(tag.Track);
    bool found = false;
    found |= AddTag(Title, "Title", tag.Title);
    found |= AddTag(Artist, "Artist", tag.Artist);
    found |= AddTag(Track, "Track", track);
    found |= AddTag(Album, "Album", tag.Album);
    found |= AddTag(Comment, "Comment", tag.Comment);
    found |= AddTag(Genre, "Genre", tag.Genre);
    found |= AddTag(Year, "Year", tag.Year);
    // The trailer has no field for the others; the list has the same shape whichever tag gave it.
    AppendFurtherMetaArgs();
    if (!found)
        MetaArgs.clear();
    return found;
}
