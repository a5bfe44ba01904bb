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

bool TCons::Begin(const std::string& commandLine, const std::string& workFolder) {
    platform::TConsole& console = Terminal();
    // Without a terminal the tool still runs; its screen just cannot be read.
    console.Prepare(BufferWidth, BufferHeight);
    Finished = false;
    return console.Start(platform::SplitCommandLine(commandLine),
                         workFolder == "0" ? "" : workFolder);
}

bool TCons::Step(int sliceMs) {
    platform::TConsole& console = Terminal();
    Poll();
    const bool ended = console.Wait(sliceMs);
    if (Beside)
        Beside();
    platform::PumpMessages();
    // A request made while the window handled its events stops the tool at once.
    if (Abort && Abort->Requested())
        console.Terminate();
    if (!ended)
        return false;
    console.Finish();
    Poll();
    platform::PumpMessages();
    Finished = true;
    return true;
}

// The terminal is never shown, so neither its title (the caption) nor showConsole matter.
bool TCons::Run(const std::string& /*caption*/, const std::string& commandLine,
                const std::string& workFolder, bool /*showConsole*/) {
    if (!Begin(commandLine, workFolder))
        return false;
    platform::PumpMessages();
    while (!Step(PollSliceMs)) {
    }
    return true;
}
