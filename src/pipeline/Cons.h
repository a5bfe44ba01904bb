#pragma once

#include "pipeline/AbortState.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {
class TConsole;
}

// Runs one console tool at a time in a hidden terminal and hands its owner a snapshot of the
// screen after every poll slice.
class TCons {
public:
    bool Finished = false;
    // The owner's abort state: while it is requested, each poll terminates the tool. None: every
    // tool runs to its end.
    const TAbortState* Abort = nullptr;
    // The terminal the tools run in; none: the process's own.
    platform::TConsole* Console = nullptr;
    int BufferWidth = 265;
    int BufferHeight = 200;
    std::function<void(TCons&)> OnPoll;
    // Other work kept going while this tool runs, after every slice.
    std::function<void()> Beside;
    std::vector<std::string> ScreenLines;

    // Runs the command line to its end. workFolder "0" keeps the program's current folder. The
    // result says only that the tool was started and has ended (terminated included).
    bool Run(const std::string& caption, const std::string& commandLine,
             const std::string& workFolder, bool showConsole);
    // Starts the tool without waiting for it; false when it could not be started.
    bool Begin(const std::string& commandLine, const std::string& workFolder);
    // Follows a started tool for at most sliceMs, letting the window handle its events; true,
    // with Finished, once it has ended.
    bool Step(int sliceMs);

private:
    platform::TConsole& Terminal() const;
    void Poll();
};
