#include "pipeline/CueSheet.h"

#include "pipeline/PathParts.h"
#include "platform/AsciiText.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

#include <algorithm>
#include <charconv>

namespace {

const char* const AudioExtensions[] = {".flac", ".ape", ".wav", ".wv"};

// UTF-8 when the bytes are that (a BOM says so outright), else the 8-bit code page.
std::string SheetText(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return platform::ValidUtf8(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 3, bytes.size() - 3));
    const std::string utf8 = platform::ValidUtf8(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (utf8 == bytes)
        return utf8;
    return platform::Windows1252ToUtf8(bytes);
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

std::uint32_t TCueSheet::EndOf(std::size_t track) const {
    if (track + 1 < Tracks.size() && Tracks[track + 1].File == Tracks[track].File)
        return Tracks[track + 1].Start;
    return 0;
}

bool TCueSheet::Load(const std::string& path) {
    Sheet = path;
    const auto bytes = platform::ReadSmallFile(path, MaxBytes);
    if (!bytes)
        return Fail(0, platform::FileExists(path) ? "cannot be read or is larger than 1 MiB"
                                                  : "is not there");
    return Parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                 path);
}

bool TCueSheet::Parse(std::string_view bytes, const std::string& sheetName) {
    *this = TCueSheet{};
    Sheet = sheetName;
    const std::string text = SheetText(bytes);
    bool hasIndex01 = true;
    bool inTrack = false;
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
        bool unclosed = false;
        const std::vector<std::string> words = Words(line, unclosed);
        if (words.empty())
            continue;
        if (unclosed)
            return Fail(lineNumber, "a quote is not closed");
        // A text holding one would be cut short on the tools' command lines.
        if (line.find('\0') != std::string_view::npos)
            return Fail(lineNumber, "holds a zero byte; this is no text");
        const std::string command = Upper(words[0]);
        const std::size_t args = words.size() - 1;
        TTrack* track = inTrack ? &Tracks.back() : nullptr;
        if (command == "REM") {
            if (args < 2)
                continue;
            const std::string what = Upper(words[1]);
            const std::string value = Joined(words, 2, words.size());
            if (what == "DATE")
                Date = value;
            else if (what == "GENRE")
                Genre = value;
            else if (what == "COMMENT")
                Comment = value;
        } else if (command == "CATALOG" || command == "ISRC" || command == "CDTEXTFILE" ||
                   command == "FLAGS" || command == "PREGAP" || command == "POSTGAP") {
            // Nothing a file of this program carries.
        } else if (command == "TITLE" || command == "PERFORMER" || command == "SONGWRITER") {
            if (args == 0)
                return Fail(lineNumber, command + " needs a text");
            const std::string value = Joined(words, 1, words.size());
            if (command == "TITLE")
                (track ? track->Title : Title) = value;
            else if (command == "PERFORMER")
                (track ? track->Performer : Performer) = value;
            else if (track)
                track->Songwriter = value;
        } else if (command == "FILE") {
            if (args < 2)
                return Fail(lineNumber,
                            "FILE needs a file name and a type, as in FILE \"CD.wav\" WAVE");
            const std::string type = Upper(words.back());
            if (type == "BINARY" || type == "MOTOROLA")
                return Fail(lineNumber, "the file " + Joined(words, 1, words.size() - 1) +
                                            " holds raw CD data (" + words.back() +
                                            "), not audio this program decodes");
            Files.push_back({Joined(words, 1, words.size() - 1), lineNumber});
        } else if (command == "TRACK") {
            if (Files.empty())
                return Fail(lineNumber, "TRACK comes before any FILE");
            int number = 0;
            if (args != 2 || !Number(words[1], number, 1, 99))
                return Fail(lineNumber, "TRACK needs a number from 01 to 99 and a type, as in "
                                        "TRACK 01 AUDIO");
            if (Upper(words[2]) != "AUDIO")
                return Fail(lineNumber, "track " + TwoDigits(number) + " is a " + words[2] +
                                            " track; only AUDIO tracks are converted");
            if (!hasIndex01)
                return Fail(Tracks.back().Line,
                            "track " + TwoDigits(Tracks.back().Number) + " has no INDEX 01");
            if (!Tracks.empty() && number <= Tracks.back().Number)
                return Fail(lineNumber, "track " + TwoDigits(number) + " follows track " +
                                            TwoDigits(Tracks.back().Number) +
                                            "; track numbers must rise");
            TTrack next;
            next.Number = number;
            next.Line = lineNumber;
            Tracks.push_back(next);
            inTrack = true;
            hasIndex01 = false;
        } else if (command == "INDEX") {
            int number = 0;
            std::uint32_t frames = 0;
            if (!track)
                return Fail(lineNumber, "INDEX comes before any TRACK");
            if (args != 2 || !Number(words[1], number, 0, 99) || !Position(words[2], frames))
                return Fail(lineNumber, "INDEX needs a number and a position mm:ss:ff (75 frames "
                                        "a second), as in INDEX 01 03:15:42");
            if (number != 1)
                continue;
            if (hasIndex01)
                return Fail(lineNumber,
                            "track " + TwoDigits(track->Number) + " has a second INDEX 01");
            track->File = Files.size() - 1;
            track->Start = frames;
            hasIndex01 = true;
            if (Tracks.size() > 1) {
                const TTrack& before = Tracks[Tracks.size() - 2];
                if (before.File == track->File && before.Start >= frames)
                    return Fail(lineNumber, "track " + TwoDigits(track->Number) + " starts at " +
                                                TimeText(frames) + ", not after track " +
                                                TwoDigits(before.Number) + " at " +
                                                TimeText(before.Start));
            }
        } else {
            return Fail(lineNumber, "unknown command " + words[0]);
        }
    }
    if (Tracks.empty())
        return Fail(0, "holds no TRACK");
    if (!hasIndex01)
        return Fail(Tracks.back().Line,
                    "track " + TwoDigits(Tracks.back().Number) + " has no INDEX 01");
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
    if (Files.size() == 1)
        stems.push_back(pipeline::StripExtension(pipeline::FileNamePart(sheetPath)));
    for (const std::string& stem : stems)
        for (const char* extension : AudioExtensions)
            if (std::string found = there(stem + extension); !found.empty())
                return found;
    return {};
}
