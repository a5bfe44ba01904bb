// parvane-job: runs one MP4 job over the files given, the way a run of the window does, and
// prints every event of the job as one JSON object per line. For benchmarks and checks.

#include "job/Mp4.h"
#include "platform/Cores.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <signal.h>
#include <string>
#include <vector>

namespace {

const char* UsageText = "usage: parvane-job [--separate] [--to DIR] [--name NAME] [--ext "
                        ".mp4|.m4a|.m4b] [--option TEXT]\n"
                        "                   [--verify] [--name-as-title] FILE...\n";

volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int) {
    Interrupted = 1;
}

struct TJobOptions {
    bool Separate = false;
    bool ToSelected = false;
    bool Verify = false;
    bool NameAsTitle = false;
    std::string Dir;
    std::string Name;
    std::string Ext = ".mp4";
    std::string Option = "-cbr 192000";
    std::vector<std::string> Files;
};

// Empty when the arguments make a job; else the reason they do not.
std::string ParseArgs(const std::vector<std::string>& args, TJobOptions& options) {
    bool nameGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue =
            arg == "--to" || arg == "--name" || arg == "--ext" || arg == "--option";
        if (takesValue && i + 1 == args.size())
            return arg + " needs a value";
        if (arg == "--separate") {
            options.Separate = true;
        } else if (arg == "--verify") {
            options.Verify = true;
        } else if (arg == "--name-as-title") {
            options.NameAsTitle = true;
        } else if (arg == "--to") {
            options.ToSelected = true;
            options.Dir = args[++i];
            if (options.Dir.empty())
                return "--to needs a folder";
            if (options.Dir.back() != '/')
                options.Dir += '/';
        } else if (arg == "--name") {
            options.Name = args[++i];
            nameGiven = true;
        } else if (arg == "--ext") {
            options.Ext = args[++i];
            if (options.Ext != ".mp4" && options.Ext != ".m4a" && options.Ext != ".m4b")
                return "--ext is .mp4, .m4a or .m4b";
        } else if (arg == "--option") {
            options.Option = args[++i];
        } else if (arg.starts_with("--")) {
            return "unknown option " + arg;
        } else {
            options.Files.push_back(arg);
        }
    }
    if (options.Files.empty())
        return "no FILE given";
    if (!nameGiven)
        options.Name = options.Files.front();
    return "";
}

// One JSON object on one line of stdout, flushed at once so that a watcher sees it in time.
class TJsonLine {
public:
    explicit TJsonLine(const std::string& event) { String("event", event); }

    TJsonLine& String(const std::string& name, const std::string& value) {
        Key(name);
        Quote(value);
        return *this;
    }
    TJsonLine& Number(const std::string& name, long value) {
        Key(name);
        Text += std::to_string(value);
        return *this;
    }
    TJsonLine& Flag(const std::string& name, bool value) {
        Key(name);
        Text += value ? "true" : "false";
        return *this;
    }
    TJsonLine& List(const std::string& name, const std::vector<std::string>& values) {
        Key(name);
        Text += '[';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0)
                Text += ',';
            Quote(values[i]);
        }
        Text += ']';
        return *this;
    }
    void Print() {
        std::fputs((Text + "}\n").c_str(), stdout);
        std::fflush(stdout);
    }

private:
    std::string Text = "{";

    void Key(const std::string& name) {
        if (Text.size() > 1)
            Text += ',';
        Quote(name);
        Text += ':';
    }
    // Bytes from 0x80 on pass unchanged: paths are UTF-8 (or whatever bytes the file has).
    void Quote(const std::string& value) {
        Text += '"';
        for (unsigned char c : value) {
            if (c == '"' || c == '\\') {
                Text += '\\';
                Text += static_cast<char>(c);
            } else if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                Text += escaped;
            } else {
                Text += static_cast<char>(c);
            }
        }
        Text += '"';
    }
};

void PrintEvents(TMP4& job) {
    job.OnStepStart = [](TMP4& j) {
        TJsonLine("StepStart")
            .Number("Activity", j.Activity)
            .String("CurrentSource", j.CurrentSource)
            .String("CurrentTarget", j.CurrentTarget)
            .List("MetaArgs", j.MetaArgs)
            .Print();
    };
    job.OnProgress = [](TMP4& j) {
        // Where the window's handlers would see an Abort click.
        if (Interrupted != 0)
            j.Abort.Request();
        TJsonLine("Progress")
            .Number("Activity", j.Activity)
            .Number("Percent", j.Percent)
            .String("OutputFile", j.OutputFile)
            .Print();
    };
    job.OnSourceDone = [](TMP4& j) {
        TJsonLine("SourceDone")
            .String("CurrentSource", j.CurrentSource)
            .String("CurrentTarget", j.CurrentTarget)
            .Number("TotalSeconds", j.TotalSeconds)
            .Flag("Failed", j.Failed)
            .List("ErrorLines", j.ErrorLines)
            .Print();
    };
    job.OnEncodeDone = [](TMP4& j) {
        TJsonLine("EncodeDone")
            .String("CurrentTarget", j.CurrentTarget)
            .Number("TotalSeconds", j.TotalSeconds)
            .Flag("Failed", j.Failed)
            .Flag("EncodeFailed", j.EncodeFailed)
            .List("ErrorLines", j.ErrorLines)
            .Print();
    };
    job.OnTagStart = [](TMP4& j) {
        TJsonLine("TagStart").String("CurrentTarget", j.CurrentTarget).Print();
    };
    job.OnTagProgress = [](TMP4&) { TJsonLine("TagProgress").Print(); };
    job.OnTagDone = [](TMP4& j) {
        TJsonLine("TagDone").String("CurrentTarget", j.CurrentTarget).Print();
    };
}

} // namespace

int main(int argc, char** argv) {
    TJobOptions options;
    const std::string error = ParseArgs(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!error.empty()) {
        std::cerr << "parvane-job: " << error << "\n" << UsageText;
        return 2;
    }

    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);

    TMP4 job;
    PrintEvents(job);
    if (Interrupted != 0)
        job.Abort.Request();
    // Separate files run one lane per core, as in the window.
    job.Lanes = platform::UsableCores();
    job.VerifyOnly = options.Verify;
    job.NameAsTitle = options.NameAsTitle;
    job.OutputExt = options.Ext;
    job.SetEncoderOption(options.Option);
    job.SetOutputName(options.Name);
    job.SetOutputDir(options.Dir);
    job.ClearAll();
    for (const std::string& file : options.Files)
        if (!job.AddSrcFile(file))
            std::cerr << "parvane-job: not a usable source: "
                      << (job.SheetError.empty() ? file : job.SheetError) << "\n";

    const bool result = job.DoConvert(!options.Separate, options.ToSelected);
    TJsonLine("Done")
        .Flag("Result", result)
        .Flag("SameSampleRate", job.SameSampleRate)
        .Flag("EncodeFailed", job.EncodeFailed)
        .String("Refusal", job.Refusal)
        .Print();
    return result ? 0 : 1;
}
