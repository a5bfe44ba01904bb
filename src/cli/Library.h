#pragma once

#include "cli/Options.h"
#include "job/Mp4.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

// One thing a run converts: a source file, a sheet with the tracks of its image, or with
// --combine everything in one file. Its job holds the sources still to convert.
struct TItem {
    std::string Name;
    std::unique_ptr<TMP4> Job;
    // Where the outputs go, with a trailing '/' (empty: the current folder).
    std::string Folder;
    // The sources' folder, for --copy-art.
    std::string SourceFolder;
    // One planned name per source left in the job.
    std::vector<std::string> Outputs;
    std::vector<std::string> Skipped;
    // Why nothing of it can be converted.
    std::string Error;
    // Audio seconds to convert, by the sources' headers; 0 when they do not tell.
    double Seconds = 0;
};

// The plan of a run: the command line's files and folders walked as the window takes a drop,
// each source's output named, and the outputs already there set aside.
class TLibrary {
public:
    explicit TLibrary(const TOptions& options);

    void Walk();
    std::vector<TItem> Items;

    // The plan lines of --dry-run.
    std::vector<std::string> PlanLines() const;

private:
    std::vector<std::string> AddSheet(const std::string& sheet, const std::string& root);
    void AddFile(const std::string& file, const std::string& root);
    // Names the outputs of the item's sources and drops the sources whose output is there.
    void Plan(TItem& item);
    std::string OutputFolder(const std::string& sourceFolder, const std::string& root) const;
    std::unique_ptr<TMP4> NewJob() const;

    const TOptions& Options;
    // Names this run writes, so that two sources never aim at one file.
    std::set<std::string> Claimed;
};
