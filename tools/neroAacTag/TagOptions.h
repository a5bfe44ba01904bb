#pragma once

#include <map>
#include <string>
#include <vector>

// The tagger's command line: the file, then "-meta:Name=value" arguments for the file until the
// first "-chapter:k", and for chapter k after it.
class TTagOptions {
public:
    // Tag names as libavformat's MP4 writer knows them ("title", "date", ...) to values.
    using TValues = std::map<std::string, std::string>;
    // The key of the track total, which no libavformat key takes: it completes "track".
    static constexpr const char* TrackTotalKey = "track total";

    std::string File;
    TValues FileValues;
    std::map<int, TValues> ChapterValues;
    // The image for the file's front cover, or empty to keep the cover it has.
    std::string Cover;
    bool Help = false;

    bool Parse(const std::vector<std::string>& args);
    const std::string& Error() const { return Err; }

    // What the file itself is to carry. Without file-level arguments it takes chapter 1's
    // values, except that a file of several chapters is titled by chapter 1's album.
    TValues EffectiveFileValues(std::size_t fileChapters) const;

    static const char* HelpText();

private:
    bool Fail(const std::string& reason);

    std::string Err;
};
