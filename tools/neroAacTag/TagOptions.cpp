#include "TagOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The accepted names and the libavformat metadata keys that become ©nam ©ART ©alb ©cmt ©gen
// ©day trkn aART disk ©wrt and cpil. The track total is no key of its own: it completes trkn.
const std::map<std::string, std::string> Keys = {
    {"title", "title"},       {"artist", "artist"},
    {"track", "track"},       {"album", "album"},
    {"comment", "comment"},   {"genre", "genre"},
    {"year", "date"},         {"albumartist", "album_artist"},
    {"disc", "disc"},         {"tracktotal", TTagOptions::TrackTotalKey},
    {"composer", "composer"}, {"compilation", "compilation"},
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

} // namespace

const char* TTagOptions::HelpText() {
    return "Usage: neroAacTag FILE.m4a [-meta:Name=value ...] [-add-cover:front:IMAGE]\n"
           "                  [-chapter:k -meta:Name=value ...]\n"
           "\n"
           "Writes tags into an MP4 file. Names, in any letter case: Title, Artist, Album,\n"
           "Comment, Genre, Year, Track (3 or 3/12), AlbumArtist, Disc (1 or 1/2),\n"
           "TrackTotal (the 12 of a Track given as 3), Composer, Compilation (1 or 0).\n"
           "-meta: arguments before the first -chapter: belong to the file, those after\n"
           "-chapter:k to chapter k, whose Title names it (else it is called \"Chapter k\";\n"
           "a chapter not mentioned keeps its name).\n"
           "Without file-level arguments the file takes chapter 1's values, and a file of\n"
           "several chapters takes chapter 1's Album as its title.\n"
           "\n"
           "-add-cover:front:IMAGE makes a JPEG or PNG image (at most 16 MiB) the file's\n"
           "front cover; without it the file keeps the cover it has.\n"
           "\n"
           "Every file gets gapless playback information (iTunSMPB) and its index ahead of\n"
           "the audio; a .m4b file is marked as an audiobook.\n"
           "\n"
           "An empty value removes that tag; tags not mentioned are kept. The audio is copied\n"
           "untouched into a new file beside FILE, which then replaces FILE; on any failure\n"
           "FILE stays exactly as it was.\n"
           "\n"
           "Exit status: 0 tagged, 1 failed, 2 wrong command line.\n";
}

bool TTagOptions::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

bool TTagOptions::Parse(const std::vector<std::string>& args) {
    int chapter = 0;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-help" || arg == "-h") {
            Help = true;
            return true;
        }
        if (StartsWithNoCase(arg, "-meta:")) {
            const auto eq = arg.find('=');
            if (eq == std::string::npos)
                return Fail(arg + " has no '=' between name and value");
            const auto key = Keys.find(Lower(arg.substr(6, eq - 6)));
            if (key == Keys.end())
                return Fail("unknown tag name in " + arg.substr(0, eq) +
                            " (known: Title, Artist, Album, Comment, Genre, Year, Track, "
                            "AlbumArtist, Disc, TrackTotal, Composer, Compilation)");
            TValues& values = chapter == 0 ? FileValues : ChapterValues[chapter];
            values[key->second] = arg.substr(eq + 1);
        } else if (StartsWithNoCase(arg, "-add-cover:")) {
            if (!StartsWithNoCase(arg, "-add-cover:front:") || arg.size() == 17)
                return Fail(arg + ": only a front cover can be added, as -add-cover:front:IMAGE");
            if (!Cover.empty())
                return Fail("only one -add-cover is allowed");
            Cover = arg.substr(17);
        } else if (StartsWithNoCase(arg, "-chapter:")) {
            const char* first = arg.data() + 9;
            const char* last = arg.data() + arg.size();
            auto [ptr, ec] = std::from_chars(first, last, chapter);
            if (ec != std::errc() || ptr != last || first == last || chapter < 1)
                return Fail(arg + " needs a chapter number from 1 on");
            ChapterValues[chapter];
        } else if (!arg.empty() && arg[0] == '-') {
            return Fail("unknown option " + arg);
        } else if (File.empty()) {
            File = arg;
        } else {
            return Fail("only one file can be tagged at a time (" + arg + ")");
        }
    }
    if (File.empty())
        return Fail("no file given");
    return true;
}

TTagOptions::TValues TTagOptions::EffectiveFileValues(std::size_t fileChapters) const {
    if (!FileValues.empty())
        return FileValues;
    const auto first = ChapterValues.find(1);
    if (first == ChapterValues.end())
        return {};
    TValues values = first->second;
    const auto album = values.find("album");
    if (fileChapters > 1 && album != values.end() && !album->second.empty())
        values["title"] = album->second;
    return values;
}
