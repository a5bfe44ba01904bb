#include "pipeline/Cons.h"

#include "platform/CommandLine.h"
#include "platform/Console.h"
#include "platform/MessagePump.h"

namespace {
const int PollSliceMs = 150;
}

void TCons::Poll() {
    ScreenLines = platform::TConsole::Instance().Snapshot();
    if (OnPoll)
        OnPoll(*this);
}

bool TCons::Run(const std::string& caption, const std::string& commandLine,
                const std::string& workFolder, bool /*showConsole: the terminal is never shown*/) {
    platform::TConsole& console = platform::TConsole::Instance();
    TitleSet = false;
    // Without a terminal the tool still runs; its screen just cannot be read.
    console.Prepare(BufferWidth, BufferHeight);
    Finished = false;
    if (!console.Start(platform::SplitCommandLine(commandLine),
                       workFolder == "0" ? "" : workFolder))
        return false;
    console.SetTitle(caption);
    TitleSet = true;
    platform::PumpMessages();

    for (;;) {
        Poll();
        bool ended = console.Wait(PollSliceMs);
        platform::PumpMessages();
        if (TerminateRequested)
            console.Terminate();
        if (ended)
            break;
    }
    console.Finish();
    Poll();
    platform::PumpMessages();
    Finished = true;
    return true;
}
