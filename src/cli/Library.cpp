#include "cli/Library.h"

#include "job/SourceWalk.h"
#include "pipeline/PathParts.h"
#include "platform/Files.h"

#include <algorithm>
#include <filesystem>

TLibrary::TLibrary(const TOptions& options) : Options(options) {}

std::unique_ptr<TMP4> TLibrary::NewJob() const {
    auto job = std::make_unique<TMP4>();
    job->OutputExt = Options.Ext;
    job->VerifyOnly = Options.Verify;
    job->SetEncoderOption(Options.EncoderOption);
    job->StageOutputs = true;
    job->KeepWantedName = !Options.Rename;
    return job;
}

void TLibrary::Walk() {
    if (!Options.Combine.empty()) {
        Items.push_back({});
        Items.back().Name = Options.Combine;
        Items.back().Job = NewJob();
    }
    TSourceWalk walk;
    walk.Recursive = true;
    walk.OnSheet = [this](const std::string& sheet, const std::string& root) {
        return AddSheet(sheet, root);
    };
    walk.OnFile = [this](const std::string& file, const std::string& root) { AddFile(file, root); };
    // The window takes a name it cannot read for an empty folder; named here, it is an error.
    std::vector<std::string> paths;
    for (const std::string& path : Options.Paths) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            paths.push_back(path);
            continue;
        }
        TItem item;
        item.Name = path;
        item.Error = path + ": no such file or folder";
        Items.push_back(std::move(item));
    }
    walk.Walk(paths);
    if (!Options.Combine.empty()) {
        // The combined item comes first and its sources are in walk order; it is planned last.
        TItem& combined = Items.front();
        if (combined.Job->Sources.empty()) {
            Items.erase(Items.begin());
            return;
        }
        const std::string first = combined.Job->Sources.front()->SrcFile;
        combined.SourceFolder = pipeline::FolderPart(first);
        combined.Folder = Options.OutputDir.empty() ? combined.SourceFolder : Options.OutputDir;
        Plan(combined);
    }
}

// A folder below root keeps its path below it; anything else goes straight into the output
// folder.
std::string TLibrary::OutputFolder(const std::string& sourceFolder, const std::string& root) const {
    if (Options.OutputDir.empty())
        return sourceFolder;
    if (Options.Flat)
        return Options.OutputDir;
    const std::string prefix = root.ends_with('/') ? root : root + '/';
    if (sourceFolder.starts_with(prefix))
        return Options.OutputDir + sourceFolder.substr(prefix.size());
    return Options.OutputDir;
}

std::vector<std::string> TLibrary::AddSheet(const std::string& sheet, const std::string& root) {
    TMP4* job = Options.Combine.empty() ? nullptr : Items.front().Job.get();
    std::unique_ptr<TMP4> own = job ? nullptr : NewJob();
    const std::vector<TMP4::TSheetTrack> tracks = (job ? job : own.get())->AddCueSheet(sheet);
    std::vector<std::string> images;
    for (const TMP4::TSheetTrack& track : tracks)
        images.push_back(track.Image);
    if (job && !tracks.empty())
        return images;
    TItem item;
    item.Name = sheet;
    if (tracks.empty()) {
        item.Error = (job ? job : own.get())->SheetError;
    } else {
        item.Job = std::move(own);
        item.SourceFolder = pipeline::FolderPart(tracks.front().Image);
        // A sheet named on its own has no folders to keep.
        item.Folder = OutputFolder(pipeline::FolderPart(sheet),
                                   root == sheet ? pipeline::FolderPart(sheet) : root);
        Plan(item);
    }
    Items.push_back(std::move(item));
    return images;
}

void TLibrary::AddFile(const std::string& file, const std::string& root) {
    // In a folder only the names of the kinds the job converts count; a file named on its own
    // is judged by its content.
    if (root != file && !TMP4::IsSourceKind(file))
        return;
    TMP4* job = Options.Combine.empty() ? nullptr : Items.front().Job.get();
    std::unique_ptr<TMP4> own = job ? nullptr : NewJob();
    const bool kept = (job ? job : own.get())->AddSrcFile(file);
    if (job && kept)
        return;
    TItem item;
    item.Name = file;
    if (!kept) {
        item.Error =
            file + ": " +
            (platform::FileExists(file) ? "not a file of its kind, or cut short" : "no such file");
    } else {
        item.Job = std::move(own);
        item.SourceFolder = pipeline::FolderPart(file);
        item.Folder = OutputFolder(item.SourceFolder, root == file ? item.SourceFolder : root);
        Plan(item);
    }
    Items.push_back(std::move(item));
}

void TLibrary::Plan(TItem& item) {
    TMP4& job = *item.Job;
    if (Options.Verify) {
        for (const auto& source : job.Sources)
            if (const std::optional<TPcmSize> size = source->PcmSize())
                item.Seconds += static_cast<double>(size->Frames) / std::max(size->SampleRate, 1u);
        item.Outputs.assign(job.Sources.size(), std::string());
        return;
    }
    std::vector<std::string> wanted;
    if (!Options.Combine.empty())
        wanted.push_back(item.Folder +
                         pipeline::StripExtension(pipeline::FileNamePart(Options.Combine)) +
                         Options.Ext);
    else
        for (const auto& source : job.Sources)
            wanted.push_back(item.Folder + source->OutputStem() + Options.Ext);
    std::vector<bool> keep;
    for (const std::string& name : wanted) {
        std::string planned = name;
        if (Options.Rename) {
            // The job's numbering, past the names this run already writes.
            for (long n = 1; platform::FileExists(planned) || Claimed.count(planned); ++n)
                planned = pipeline::StripExtension(name) + "-" + std::to_string(n) +
                          pipeline::ExtensionPart(name);
        }
        const bool taken = platform::FileExists(planned) || Claimed.count(planned);
        keep.push_back(!taken);
        if (taken) {
            item.Skipped.push_back(planned);
        } else {
            Claimed.insert(planned);
            item.Outputs.push_back(planned);
        }
    }
    if (!Options.Combine.empty()) {
        if (!keep.front())
            job.ClearAll();
    } else {
        // A sheet's tracks that are there already are left out; the rest still share one decode.
        for (std::size_t k = keep.size(); k-- > 0;)
            if (!keep[k])
                job.Sources.erase(job.Sources.begin() + static_cast<std::ptrdiff_t>(k));
    }
    for (const auto& source : job.Sources)
        if (const std::optional<TPcmSize> size = source->PcmSize())
            item.Seconds += static_cast<double>(size->Frames) / std::max(size->SampleRate, 1u);
    if (job.Sources.empty())
        item.Job.reset();
}

std::vector<std::string> TLibrary::PlanLines() const {
    std::vector<std::string> lines;
    for (const TItem& item : Items) {
        for (const std::string& skipped : item.Skipped)
            lines.push_back("skip " + skipped + " (exists)");
        if (!item.Job)
            continue;
        const auto& sources = item.Job->Sources;
        for (std::size_t k = 0; k < sources.size(); ++k) {
            // A track is named by its sheet, as it was found.
            const std::string source =
                pipeline::LowerExtension(item.Name) == ".cue" ? item.Name : sources[k]->SrcFile;
            if (Options.Verify)
                lines.push_back("verify " + source);
            else
                lines.push_back("convert " + source + " -> " +
                                item.Outputs[std::min(k, item.Outputs.size() - 1)]);
        }
    }
    return lines;
}
