#include "cli/Batch.h"

#include "pipeline/PathParts.h"
#include "platform/Console.h"
#include "platform/Cores.h"
#include "platform/Files.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace {

// The share of a source's time its decode takes; the encoder has the rest.
const double DecodeShare = 0.3;

// A tool's screen as one line: the lines that say something, joined.
std::string Reason(const std::vector<std::string>& lines) {
    std::string reason;
    for (const std::string& line : lines) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        if (!reason.empty())
            reason += "; ";
        reason += line.substr(start);
    }
    return reason.empty() ? "failed" : reason;
}

// The image a folder shows as its cover, by the names the sources look for.
std::string FolderCover(const std::string& folder) {
    for (const std::string& name : platform::FolderFileNames(folder)) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string stem = pipeline::StripExtension(lower);
        const std::string extension = pipeline::ExtensionPart(lower);
        if ((stem == "cover" || stem == "folder" || stem == "front") &&
            (extension == ".jpg" || extension == ".jpeg" || extension == ".png"))
            return name;
    }
    return {};
}

} // namespace

TBatch::TBatch(std::vector<TItem>& items, const TOptions& options, TProgress& progress)
    : Items(items), Options(options), Progress(progress), Cores(platform::UsableCores()) {}

void TBatch::Run() {
    std::size_t work = 0;
    double seconds = 0;
    for (const TItem& item : Items) {
        Skipped += item.Skipped.size();
        for (const std::string& skipped : item.Skipped)
            Progress.Line("skipped " + skipped + " (exists)", false);
        if (!item.Error.empty()) {
            ++Failed;
            Progress.Line("failed " + item.Error, true);
        }
        if (item.Job) {
            ++work;
            seconds += item.Seconds;
        }
    }
    Progress.Start(work, seconds);
    const unsigned threads =
        static_cast<unsigned>(std::min<std::size_t>(std::max(Options.Jobs, 1u), work));
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < threads; ++k)
        workers.emplace_back([this] { Work(); });
    Work();
    for (std::thread& worker : workers)
        worker.join();
    Progress.Close();
}

void TBatch::Stop() {
    std::lock_guard<std::mutex> lock(Lock);
    Stopping = true;
    for (TMP4* job : Running)
        job->Abort.Request();
}

void TBatch::Work() {
    platform::TConsole console;
    for (;;) {
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(Lock);
            while (Next < Items.size() && !Items[Next].Job)
                ++Next;
            if (Stopping || Next >= Items.size())
                return;
            index = Next++;
            Running.push_back(Items[index].Job.get());
            // Jobs side by side already fill the cores; an encoder that splits its input across
            // them as well only pays the pre-roll of its segments. Near the end fewer jobs run,
            // and each takes a larger share.
            const std::size_t waiting = static_cast<std::size_t>(
                std::count_if(Items.begin() + static_cast<std::ptrdiff_t>(Next), Items.end(),
                              [](const TItem& item) { return item.Job != nullptr; }));
            const std::size_t busy = std::min<std::size_t>(Options.Jobs, waiting + Running.size());
            const unsigned threads = std::max(1u, Cores / static_cast<unsigned>(busy));
            Items[index].Job->SetEncoderOption(Options.EncoderOption + " -threads " +
                                               std::to_string(threads));
        }
        Convert(index, console);
        {
            std::lock_guard<std::mutex> lock(Lock);
            Running.erase(std::find(Running.begin(), Running.end(), Items[index].Job.get()));
        }
        // Its sources and their temporary files go as soon as it is done.
        Items[index].Job.reset();
    }
}

void TBatch::Count(std::size_t converted, std::size_t failed) {
    std::lock_guard<std::mutex> lock(Lock);
    Converted += converted;
    Failed += failed;
}

void TBatch::Convert(std::size_t index, platform::TConsole& console) {
    TItem& item = Items[index];
    TMP4& job = *item.Job;
    const std::size_t sources = job.Sources.size();
    job.Console = &console;
    Progress.Begin(index, item.Name, item.Seconds);

    std::vector<std::string> errors;
    std::size_t decodes = 0;
    job.OnStepStart = [&](TMP4& j) {
        if (j.Activity != TMP4::ActivityEncoding)
            ++decodes;
    };
    job.OnProgress = [&](TMP4& j) {
        const double percent = j.Percent / 100.0;
        // Separate files: the job tells the whole run's share. Combined: all sources decode
        // first, then one encode.
        double done = percent;
        if (!Options.Combine.empty()) {
            const double decoded = static_cast<double>(std::max<std::size_t>(decodes, 1)) - 1;
            done = j.Activity == TMP4::ActivityEncoding
                       ? DecodeShare + (1 - DecodeShare) * percent
                       : DecodeShare * (decoded + percent) / static_cast<double>(sources);
        }
        Progress.Advance(index, done);
    };
    job.OnSourceDone = [&](TMP4& j) {
        if (j.Failed)
            errors.push_back(j.CurrentSource + ": " + Reason(j.ErrorLines));
    };
    job.OnEncodeDone = [&](TMP4& j) {
        if (j.EncodeFailed)
            errors.push_back(j.CurrentSource + ": " + Reason(j.ErrorLines));
    };

    std::error_code ec;
    if (!item.Folder.empty() && !Options.Verify)
        std::filesystem::create_directories(item.Folder, ec);
    if (ec) {
        errors.push_back(item.Name + ": cannot make the folder " + item.Folder + ": " +
                         ec.message());
    } else {
        job.SetOutputDir(item.Folder);
        if (!Options.Combine.empty())
            job.SetOutputName(Options.Combine);
        job.DoConvert(!Options.Combine.empty(), true);
    }
    Progress.End(index);
    for (const std::string& output : job.Written)
        Progress.Line("converted " + item.Name + " -> " + output, false);
    // What a stop cut short is no failure of its source.
    if (Stopping && job.Abort.Requested()) {
        Count(job.Written.size(), 0);
        return;
    }

    std::size_t converted = job.Written.size();
    std::size_t failed = 0;
    if (Options.Verify) {
        failed = std::min(errors.size(), sources);
        converted = sources - failed;
    } else {
        failed = item.Outputs.size() - std::min(converted, item.Outputs.size());
        if (failed > 0 && errors.empty())
            errors.push_back(item.Name + ": " +
                             (!job.Refusal.empty()      ? job.Refusal
                              : !job.ErrorLines.empty() ? Reason(job.ErrorLines)
                                                        : "not converted"));
    }
    if (Options.Verify && failed == 0)
        Progress.Line("verified " + item.Name, false);
    for (const std::string& error : errors)
        Progress.Line("failed " + error, true);
    if (Options.CopyArt && !job.Written.empty())
        CopyArt(item);
    Count(converted, failed);
}

void TBatch::CopyArt(const TItem& item) {
    if (item.Folder == item.SourceFolder)
        return;
    const std::string name = FolderCover(item.SourceFolder);
    if (name.empty() || platform::FileExists(item.Folder + name))
        return;
    // Under a hidden name first, so that a stopped copy leaves no cut-short image.
    const std::string staged = item.Folder + ".~" + name + ".partial";
    std::error_code ec;
    std::filesystem::copy_file(item.SourceFolder + name, staged, ec);
    if (ec || platform::MoveNoReplace(staged, item.Folder + name) != 0)
        platform::DeleteFile(staged);
}
