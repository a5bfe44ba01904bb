#include "pipeline/CueSheet.h"

#include "pipeline/PathParts.h"
#include "platform/AsciiText.h"
#include "platform/CharsetDetector.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Iconv.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <span>

namespace {

const char* const AudioExtensions[] = {".flac", ".ape", ".wav", ".wv"};

std::span<const std::uint8_t> AsBytes(std::string_view bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// UTF-16 without a mark: the high bytes of its ASCII commands are zero, at odd offsets in little
// endian and at even ones in big endian. Nothing when the zero bytes do not say so.
std::optional<bool> Utf16BigEndian(std::span<const std::uint8_t> bytes) {
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == 0)
            ++(i % 2 ? odd : even);
    const std::size_t units = bytes.size() / 2;
    if (units == 0)
        return std::nullopt;
    if (odd * 4 >= units && even * 4 < odd)
        return false;
    if (even * 4 >= units && odd * 4 < even)
        return true;
    return std::nullopt;
}

// What a detector guesses counts only for a script the code page cannot hold: within one
// script, Latin above all, its guesses are unreliable on texts as short as a sheet.
std::string EightBitText(std::string_view bytes, int codePage) {
    if (codePage == 0)
        codePage = platform::SystemCodePage();
    const std::string guess = TCharsetDetector().Guess(bytes);
    const platform::TScript script = platform::CharsetScript(guess);
    if (script != platform::TScript::Latin && script != platform::CodePageScript(codePage)) {
        TIconv iconv(guess.c_str());
        if (iconv.Ok())
            return iconv.ToUtf8(AsBytes(bytes));
    }
    return platform::CodePageToUtf8(bytes, codePage);
}

// Words at blanks; double quotes group one, without the quotes.
std::vector<std::string> Words(std::string_view line, bool& unclosed) {
    std::vector<std::string> words;
    std::size_t i = 0;
    unclosed = false;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            unclosed = close == std::string_view::npos;
            const std::size_t end = unclosed ? line.size() : close;
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

bool Number(const std::string& text, int& value, int low, int high) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

// "mm:ss:ff"; minutes run past 99 on long images.
bool Position(const std::string& text, std::uint32_t& frames) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first == std::string::npos ? 0 : first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return false;
    int minutes = 0, seconds = 0, frame = 0;
    if (!Number(text.substr(0, first), minutes, 0, 9999) ||
        !Number(text.substr(first + 1, second - first - 1), seconds, 0, 59) ||
        !Number(text.substr(second + 1), frame, 0, TCueSheet::FramesPerSecond - 1))
        return false;
    frames =
        static_cast<std::uint32_t>((minutes * 60 + seconds) * TCueSheet::FramesPerSecond + frame);
    return true;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    if (value < 10)
        text.insert(text.begin(), '0');
    return text;
}

// The rest of the line after the command, for a name given without quotes.
std::string Joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i)
        text.append(i > from ? " " : "").append(words[i]);
    return text;
}

} // namespace

bool TCueSheet::Fail(int line, const std::string& reason) {
    Err = Sheet + (line > 0 ? ", line " + std::to_string(line) : "") + ": " + reason;
    return false;
}

std::uint64_t TCueSheet::SampleAt(std::uint32_t frames, std::uint32_t sampleRate) {
    return std::uint64_t{frames} * sampleRate / FramesPerSecond;
}

std::string TCueSheet::TimeText(std::uint64_t frames) {
    const std::uint64_t seconds = frames / FramesPerSecond;
    return TwoDigits(static_cast<int>(seconds / 60)) + ":" +
           TwoDigits(static_cast<int>(seconds % 60)) + ":" +
           TwoDigits(static_cast<int>(frames % FramesPerSecond));
}

std::string TCueSheet::Text(std::string_view bytes, int codePage) {
    const std::span<const std::uint8_t> all = AsBytes(bytes);
    struct TMark {
        std::string_view Bytes;
        int UnitSize;
        bool BigEndian;
    };
    // UTF-32 LE first: its mark begins with UTF-16 LE's.
    static constexpr TMark Marks[] = {{{"\xFF\xFE\0\0", 4}, 4, false},
                                      {{"\0\0\xFE\xFF", 4}, 4, true},
                                      {"\xEF\xBB\xBF", 1, false},
                                      {"\xFF\xFE", 2, false},
                                      {"\xFE\xFF", 2, true}};
    for (const TMark& mark : Marks) {
        if (!bytes.starts_with(mark.Bytes))
            continue;
        const std::span<const std::uint8_t> rest = all.subspan(mark.Bytes.size());
        if (mark.UnitSize == 4)
            return platform::Utf32ToUtf8(rest, mark.BigEndian);
        if (mark.UnitSize == 2)
            return mark.BigEndian ? platform::Utf16BeToUtf8(rest) : platform::Utf16LeToUtf8(rest);
        return platform::ValidUtf8(rest);
    }
    if (const std::optional<bool> bigEndian = Utf16BigEndian(all))
        return *bigEndian ? platform::Utf16BeToUtf8(all) : platform::Utf16LeToUtf8(all);
    const std::string utf8 = platform::ValidUtf8(all);
    if (utf8 == bytes)
        return utf8;
    return EightBitText(bytes, codePage);
}

bool TCueSheet::Load(const std::string& path, int codePage) {
    Sheet = path;
    const auto bytes = platform::ReadSmallFile(path, MaxBytes);
    if (!bytes)
        return Fail(0, platform::FileExists(path) ? "cannot be read or is larger than 1 MiB"
                                                  : "is not there");
    return Parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                 path, codePage);
}

bool TCueSheet::Parse(std::string_view bytes, const std::string& sheetName, int codePage) {
    *this = TCueSheet{};
    Sheet = sheetName;
    const std::string text = Text(bytes, codePage);
    // Every track as the sheet has it, data tracks too: they end the audio before them.
    struct TParsed {
        TTrack Track;
        std::string Type;
        bool HasIndex01 = false;
        bool HasIndex00 = false;
        std::size_t Index00File = 0;
        std::uint32_t Index00 = 0;
        // The line of its INDEX 01, or of INDEX 00 when it has only that.
        int IndexLine = 0;
        // The file its last TRACK command stood in.
        std::size_t TrackFile = 0;
    };
    std::vector<TParsed> parsed;
    std::vector<std::string> unknown;
    // A track without INDEX 01 starts at its INDEX 00.
    const auto finish = [&]() {
        if (parsed.empty() || parsed.back().HasIndex01)
            return true;
        TParsed& last = parsed.back();
        if (!last.HasIndex00)
            return Fail(last.Track.Line,
                        "track " + TwoDigits(last.Track.Number) + " has no INDEX 01");
        last.Track.File = last.Index00File;
        last.Track.Start = last.Index00;
        last.HasIndex01 = true;
        return true;
    };
    int lineNumber = 0;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            continue;
        const std::string_view body = line.substr(first);
        if (body.starts_with('#') || body.starts_with("//") || body.starts_with(';'))
            continue;
        bool unclosed = false;
        const std::vector<std::string> words = Words(line, unclosed);
        if (unclosed)
            return Fail(lineNumber, "a quote is not closed");
        // A text holding one would be cut short on the tools' command lines.
        if (line.find('\0') != std::string_view::npos)
            return Fail(lineNumber, "holds a zero byte; this is no text");
        const std::string command = Upper(words[0]);
        const std::size_t args = words.size() - 1;
        TParsed* current = parsed.empty() ? nullptr : &parsed.back();
        TTrack* track = current ? &current->Track : nullptr;
        if (command == "REM") {
            if (args < 2)
                continue;
            const std::string what = Upper(words[1]);
            const std::string value = Joined(words, 2, words.size());
            if (value.empty())
                continue;
            if (what == "DATE")
                Date = value;
            else if (what == "GENRE")
                Genre = value;
            else if (what == "COMMENT")
                Comment = value;
            else if (what == "COMPOSER")
                (track ? track->Songwriter : Composer) = value;
            else if (what == "DISCNUMBER" || what == "DISC")
                Disc = value;
            else if (what == "TOTALDISCS")
                TotalDiscs = value;
            else if (what == "COMPILATION")
                Compilation = Upper(value) == "TRUE" || value == "1";
        } else if (command == "CATALOG" || command == "MCN" || command == "ISRC" ||
                   command == "CDTEXTFILE" || command == "FLAGS" || command == "PREGAP" ||
                   command == "POSTGAP") {
            // Nothing a file of this program carries.
        } else if (command == "TITLE" || command == "PERFORMER" || command == "SONGWRITER") {
            const std::string value = Joined(words, 1, words.size());
            if (value.empty())
                continue;
            if (command == "TITLE")
                (track ? track->Title : Title) = value;
            else if (command == "PERFORMER")
                (track ? track->Performer : Performer) = value;
            else
                (track ? track->Songwriter : Composer) = value;
        } else if (command == "FILE") {
            if (args < 2)
                return Fail(lineNumber,
                            "FILE needs a file name and a type, as in FILE \"CD.wav\" WAVE");
            Files.push_back({Joined(words, 1, words.size() - 1), words.back(), lineNumber});
        } else if (command == "TRACK") {
            if (Files.empty())
                return Fail(lineNumber, "TRACK comes before any FILE");
            int number = 0;
            if (args < 2 || !Number(words[1], number, 1, 99))
                return Fail(lineNumber, "TRACK needs a number from 01 to 99 and a type, as in "
                                        "TRACK 01 AUDIO");
            // Rippers write a track's INDEX 00 at the end of one file and repeat the track, with
            // its INDEX 01, at the start of the next.
            if (current && number == track->Number && current->TrackFile + 1 < Files.size()) {
                current->TrackFile = Files.size() - 1;
                continue;
            }
            if (!finish())
                return false;
            if (current && number <= track->Number)
                return Fail(lineNumber, "track " + TwoDigits(number) + " follows track " +
                                            TwoDigits(track->Number) + "; track numbers must rise");
            TParsed next;
            next.Track.Number = number;
            next.Track.Line = lineNumber;
            next.Type = words[2];
            next.TrackFile = Files.size() - 1;
            parsed.push_back(next);
        } else if (command == "INDEX") {
            int number = 0;
            std::uint32_t frames = 0;
            if (!track)
                return Fail(lineNumber, "INDEX comes before any TRACK");
            if (args != 2 || !Number(words[1], number, 0, 99) || !Position(words[2], frames))
                return Fail(lineNumber, "INDEX needs a number and a position mm:ss:ff (75 frames "
                                        "a second), as in INDEX 01 03:15:42");
            if (number == 0 && !current->HasIndex00) {
                current->HasIndex00 = true;
                current->Index00 = frames;
                current->Index00File = Files.size() - 1;
                current->IndexLine = lineNumber;
            }
            if (number != 1)
                continue;
            if (current->HasIndex01)
                return Fail(lineNumber,
                            "track " + TwoDigits(track->Number) + " has a second INDEX 01");
            track->File = Files.size() - 1;
            track->Start = frames;
            current->HasIndex01 = true;
            current->IndexLine = lineNumber;
        } else if (std::find(unknown.begin(), unknown.end(), command) == unknown.end()) {
            unknown.push_back(command);
            Warnings.push_back(Sheet + ", line " + std::to_string(lineNumber) +
                               ": unknown command " + words[0] + " ignored");
        }
    }
    if (parsed.empty())
        return Fail(0, "holds no TRACK");
    if (!finish())
        return false;
    for (std::size_t i = 1; i < parsed.size(); ++i) {
        const TTrack& before = parsed[i - 1].Track;
        const TTrack& track = parsed[i].Track;
        if (before.File != track.File)
            continue;
        if (before.Start >= track.Start)
            return Fail(parsed[i].IndexLine, "track " + TwoDigits(track.Number) + " starts at " +
                                                 TimeText(track.Start) + ", not after track " +
                                                 TwoDigits(before.Number) + " at " +
                                                 TimeText(before.Start));
        parsed[i - 1].Track.End = track.Start;
    }
    std::string dataTracks;
    for (const TParsed& entry : parsed) {
        if (Upper(entry.Type) == "AUDIO") {
            Tracks.push_back(entry.Track);
            continue;
        }
        dataTracks += (dataTracks.empty() ? "" : ", ") + TwoDigits(entry.Track.Number) + " (" +
                      entry.Type + ")";
    }
    if (!dataTracks.empty())
        Warnings.push_back(Sheet + ": not audio, left out: track " + dataTracks);
    if (Tracks.empty())
        return Fail(0, "holds no audio track");
    // Audio before track 1 (a hidden track) is never dropped: long enough, it is a track of its
    // own, else track 1 starts with it.
    TTrack& opening = Tracks.front();
    const TParsed& sheetFirst = parsed.front();
    if (sheetFirst.Track.Number != opening.Number)
        return true;
    if (sheetFirst.HasIndex00 && sheetFirst.Index00File < opening.File) {
        // Its pregap fills a file of its own.
        TTrack hidden;
        hidden.Title = Title;
        hidden.Performer = opening.Performer;
        hidden.File = sheetFirst.Index00File;
        hidden.Line = opening.Line;
        Tracks.insert(Tracks.begin(), hidden);
    } else if (opening.Start > 0) {
        if (opening.Start <= FramesPerSecond) {
            opening.Start = 0;
        } else {
            TTrack hidden;
            hidden.Title = Title;
            hidden.Performer = opening.Performer;
            hidden.File = opening.File;
            hidden.End = opening.Start;
            hidden.Line = opening.Line;
            Tracks.insert(Tracks.begin(), hidden);
        }
    }
    return true;
}

std::string TCueSheet::FindImage(const std::string& sheetPath, std::size_t file) const {
    const std::string folder = pipeline::FolderPart(sheetPath);
    std::string name = Files.at(file).Name;
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::vector<std::string> present =
        platform::FolderFileNames(folder.empty() ? "." : folder);
    // Names compared in ASCII lower case too: sheets written on other systems miss the case.
    const auto there = [&](const std::string& wanted) -> std::string {
        for (const std::string& entry : present)
            if (entry == wanted)
                return folder + entry;
        for (const std::string& entry : present)
            if (platform::AsciiLower(entry) == platform::AsciiLower(wanted))
                return folder + entry;
        return {};
    };
    if (name.find('/') != std::string::npos && name.front() != '/' &&
        platform::FileExists(folder + name))
        return folder + name;
    const std::string bare = pipeline::FileNamePart(name);
    if (std::string found = there(bare); !found.empty())
        return found;
    std::vector<std::string> stems = {pipeline::StripExtension(bare)};
    if (Files.size() == 1) {
        // "Album.flac.cue" names its image outright.
        const std::string sheetStem = pipeline::StripExtension(pipeline::FileNamePart(sheetPath));
        const std::string extension = pipeline::LowerExtension(sheetStem);
        const bool audio = std::find(std::begin(AudioExtensions), std::end(AudioExtensions),
                                     extension) != std::end(AudioExtensions);
        if (std::string found = audio ? there(sheetStem) : ""; !found.empty())
            return found;
        stems.push_back(sheetStem);
    }
    for (const std::string& stem : stems)
        for (const char* extension : AudioExtensions)
            if (std::string found = there(stem + extension); !found.empty())
                return found;
    return {};
}
