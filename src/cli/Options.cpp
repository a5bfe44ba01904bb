#include "cli/Options.h"

#include "platform/Cores.h"

#include <algorithm>
#include <charconv>
#include <getopt.h>
#include <optional>

namespace {

enum TId : int {
    IdOutputDir = 'o',
    IdJobs = 'j',
    IdDryRun = 'n',
    IdQuiet = 'q',
    IdFlat = 256,
    IdCombine,
    IdCbr,
    IdAbr,
    IdQuality,
    IdExt,
    IdVerify,
    IdCopyArt,
    IdProgress,
    IdRename,
    IdHelp,
    IdVersion,
};

struct TSpec {
    const char* Name;
    int Id;
    // Empty: the option takes no value.
    const char* Value;
    const char* Help;
};

// The one list --help and the option parser are made from; the manual page is checked against it.
const TSpec Specs[] = {
    {"output-dir", IdOutputDir, "DIR",
     "write below DIR, keeping each source's folders below the FOLDER it was found under "
     "(default: beside each source)"},
    {"flat", IdFlat, "", "put every output straight into DIR"},
    {"combine", IdCombine, "NAME", "one file NAME with a chapter per source"},
    {"jobs", IdJobs, "N", "convert N sources at once (default: the usable cores)"},
    {"cbr", IdCbr, "KBPS",
     "constant bitrate: 33, 66, 100, 128, 146, 192 (default), 238, 285, "
     "332 or 381"},
    {"abr", IdAbr, "KBPS", "average bitrate, 33 to 381"},
    {"quality", IdQuality, "Q", "quality target, 0 to 99"},
    {"ext", IdExt, ".m4a|.mp4|.m4b", "the outputs' extension (default .m4a)"},
    {"verify", IdVerify, "", "decode only: check the sources, write nothing"},
    {"dry-run", IdDryRun, "", "print what would be done; write nothing, make no folder"},
    {"copy-art", IdCopyArt, "", "also copy the folder's cover image beside the outputs"},
    {"progress", IdProgress, "auto|always|never",
     "redraw one status line (auto: when stderr is a terminal)"},
    {"quiet", IdQuiet, "", "print errors only"},
    {"rename", IdRename, "",
     "give an output whose name exists a numbered name instead of "
     "skipping it"},
    {"help", IdHelp, "", "show this help and exit"},
    {"version", IdVersion, "", "show the version and exit"},
};

const int CbrRates[] = {33, 66, 100, 128, 146, 192, 238, 285, 332, 381};

std::optional<long> Number(const std::string& text) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

TOptions Usage(TOptions options, const std::string& error) {
    options.Action = TOptions::TAction::Usage;
    options.Error = error;
    return options;
}

} // namespace

TOptions TOptions::Parse(int argc, char** argv) {
    TOptions options;
    std::vector<option> longs;
    for (const TSpec& spec : Specs)
        longs.push_back(
            {spec.Name, *spec.Value ? required_argument : no_argument, nullptr, spec.Id});
    longs.push_back({nullptr, 0, nullptr, 0});
    // Our own messages: one line naming the problem.
    opterr = 0;
    optind = 1;
    for (;;) {
        const int previous = optind;
        const int id = getopt_long(argc, argv, ":o:j:nq", longs.data(), nullptr);
        if (id == -1)
            break;
        const std::string value = optarg ? optarg : "";
        const std::string given = previous < argc ? argv[previous] : "";
        switch (id) {
        case IdOutputDir:
            if (value.empty())
                return Usage(options, "the output folder is empty");
            options.OutputDir = value.ends_with('/') ? value : value + '/';
            break;
        case IdFlat:
            options.Flat = true;
            break;
        case IdCombine:
            if (value.empty() || value.find('/') != std::string::npos)
                return Usage(options, "'" + value + "' is no file name for --combine");
            options.Combine = value;
            break;
        case IdJobs: {
            const std::optional<long> jobs = Number(value);
            if (!jobs || *jobs < 1 || *jobs > 256)
                return Usage(options, "--jobs takes a number from 1 to 256, not '" + value + "'");
            options.Jobs = static_cast<unsigned>(*jobs);
            break;
        }
        case IdCbr: {
            const std::optional<long> rate = Number(value);
            if (!rate ||
                std::find(std::begin(CbrRates), std::end(CbrRates), *rate) == std::end(CbrRates))
                return Usage(options, "--cbr takes 33, 66, 100, 128, 146, 192, 238, 285, 332 or "
                                      "381, not '" +
                                          value + "'");
            options.EncoderOption = "-cbr " + value + "000";
            break;
        }
        case IdAbr: {
            const std::optional<long> rate = Number(value);
            if (!rate || *rate < 33 || *rate > 381)
                return Usage(options, "--abr takes 33 to 381 (kbps), not '" + value + "'");
            options.EncoderOption = "-br " + std::to_string(*rate) + "000";
            break;
        }
        case IdQuality: {
            const std::optional<long> quality = Number(value);
            if (!quality || *quality < 0 || *quality > 99)
                return Usage(options, "--quality takes 0 to 99, not '" + value + "'");
            options.EncoderOption =
                std::string("-q 0.") + (*quality < 10 ? "0" : "") + std::to_string(*quality);
            break;
        }
        case IdExt:
            if (value != ".m4a" && value != ".mp4" && value != ".m4b")
                return Usage(options, "--ext takes .m4a, .mp4 or .m4b, not '" + value + "'");
            options.Ext = value;
            break;
        case IdVerify:
            options.Verify = true;
            break;
        case IdDryRun:
            options.DryRun = true;
            break;
        case IdCopyArt:
            options.CopyArt = true;
            break;
        case IdProgress:
            if (value == "auto")
                options.Progress = TProgress::Auto;
            else if (value == "always")
                options.Progress = TProgress::Always;
            else if (value == "never")
                options.Progress = TProgress::Never;
            else
                return Usage(options,
                             "--progress takes auto, always or never, not '" + value + "'");
            break;
        case IdQuiet:
            options.Quiet = true;
            break;
        case IdRename:
            options.Rename = true;
            break;
        case IdHelp:
            options.Action = TAction::Help;
            return options;
        case IdVersion:
            options.Action = TAction::Version;
            return options;
        case ':':
            return Usage(options, "option '" + given + "' needs a value");
        default:
            return Usage(options, "unknown option '" + given + "'");
        }
    }
    for (int k = optind; k < argc; ++k)
        options.Paths.emplace_back(argv[k]);
    if (options.Paths.empty())
        return Usage(options, "no FILE or FOLDER given");
    if (options.Flat && options.OutputDir.empty())
        return Usage(options, "--flat needs --output-dir");
    if (options.Jobs == 0)
        options.Jobs = platform::UsableCores();
    return options;
}

std::string TOptions::HelpText() {
    std::string text =
        "Usage: parvane-convert [OPTION]... FILE|FOLDER...\n"
        "Converts APE, FLAC, WAV and MP3 files, CD images with their CUE sheets and whole folders\n"
        "of them (walked recursively) to AAC in MP4 files. An output whose name exists is "
        "skipped,\n"
        "so a second run converts only what is new; nothing is ever overwritten.\n\nOptions:\n";
    for (const TSpec& spec : Specs) {
        std::string left = spec.Id < 256 ? std::string("  -") + static_cast<char>(spec.Id) + ", "
                                         : std::string("      ");
        left += std::string("--") + spec.Name;
        if (*spec.Value)
            left += std::string("=") + spec.Value;
        left.resize(std::max<std::size_t>(left.size() + 2, 32), ' ');
        text += left + spec.Help + "\n";
    }
    text += "\nExit status: 0 when every source was converted or skipped, 1 when any failed,\n"
            "2 for bad usage, 130 when stopped by Ctrl-C or SIGTERM.\n";
    return text;
}

std::string TOptions::VersionText() {
    return "parvane-convert " PARVANE_VERSION "\n";
}
