#include "pipeline/Cons.h"

#include "platform/CommandLine.h"
#include "platform/Console.h"
#include "platform/MessagePump.h"

namespace {
const int PollSliceMs = 150;
}

platform::TConsole& TCons::Terminal() const {
    return Console ? *Console : platform::TConsole::Instance();
}

void TCons::Poll() {
    ScreenLines = Terminal().Snapshot();
    if (OnPoll)
        OnPoll(*this);
}

// The terminal is never shown, so neither its title (the caption) nor showConsole matter.
bool TCons::Run(const std::string& /*caption*/, const std::string& commandLine,
                const std::string& workFolder, bool /*showConsole*/) {
    platform::TConsole& console = Terminal();
    // Without a terminal the tool still runs; its screen just cannot be read.
    console.Prepare(BufferWidth, BufferHeight);
    Finished = false;
    if (!console.Start(platform::SplitCommandLine(commandLine),
                       workFolder == "0" ? "" : workFolder))
        return false;
    platform::PumpMessages();

    for (;;) {
        Poll();
        bool ended = console.Wait(PollSliceMs);
        platform::PumpMessages();
        if (Abort && Abort->Requested())
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
