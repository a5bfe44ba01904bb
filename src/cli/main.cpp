// parvane-convert: the job of the window for whole libraries, from the command line.
#include "cli/Batch.h"
#include "cli/Library.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/StopSignals.h"

#include <cstdio>
#include <unistd.h>

namespace {

const int ExitFailed = 1;
const int ExitUsage = 2;

} // namespace

int main(int argc, char** argv) {
    const TOptions options = TOptions::Parse(argc, argv);
    switch (options.Action) {
    case TOptions::TAction::Help:
        std::fputs(TOptions::HelpText().c_str(), stdout);
        return 0;
    case TOptions::TAction::Version:
        std::fputs(TOptions::VersionText().c_str(), stdout);
        return 0;
    case TOptions::TAction::Usage:
        std::fprintf(stderr,
                     "parvane-convert: %s\nTry 'parvane-convert --help' for more information.\n",
                     options.Error.c_str());
        return ExitUsage;
    case TOptions::TAction::Run:
        break;
    }

    const bool terminal = isatty(STDERR_FILENO) == 1;
    TProgress progress(options.Progress == TOptions::TProgress::Always ||
                           (options.Progress == TOptions::TProgress::Auto && terminal),
                       options.Quiet);
    TLibrary library(options);
    library.Walk();

    if (options.DryRun) {
        bool refused = false;
        for (const std::string& line : library.PlanLines())
            std::printf("%s\n", line.c_str());
        for (const TItem& item : library.Items)
            if (!item.Error.empty()) {
                std::fprintf(stderr, "parvane-convert: %s\n", item.Error.c_str());
                refused = true;
            }
        return refused ? ExitFailed : 0;
    }

    TBatch batch(library.Items, options, progress);
    {
        TStopSignals signals(batch);
        batch.Run();
    }
    if (!options.Quiet)
        std::fprintf(stderr, "%zu converted, %zu skipped, %zu failed%s\n", batch.Converted,
                     batch.Skipped, batch.Failed, batch.Stopped() ? "; stopped" : "");
    if (batch.Stopped())
        return TStopSignals::ExitStopped;
    return batch.Failed > 0 ? ExitFailed : 0;
}
