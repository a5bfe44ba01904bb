#pragma once

#include "tools/ToolTestSupport.h"

#include <string>

namespace faulttest {

// What a fake tool does instead of its work.
enum class TFault {
    None,    // runs the real tool
    Crash,   // dies of SIGSEGV before writing anything
    Hang,    // prints a line and waits until it is killed
    Slow,    // waits two seconds, then runs the real tool
    Garbage, // prints random bytes, escape sequences included, and fails
    Flood,   // prints 10 MB of text and fails
    Header,  // writes the start of its output (a WAV header, an MP4's first boxes) and is killed
    Rate,    // writes a good one-second WAV at 48 kHz, whatever the source holds
    Silent,  // exits 0 without writing anything
};

// From now on, runs of the named tool play the fault; every other tool is the real one.
void PlayFault(const std::string& tool, TFault fault);

// A temporary application folder holding a copy of this test binary and, under every tool's
// name, a link to that copy, which then plays the tool.
class TFakeAppFolder {
public:
    TFakeAppFolder();
    std::string Binary() const;

private:
    tooltest::TScopedFolder Folder;
};

// True when this process runs from a fake application folder.
bool InFakeAppFolder();

// Runs the current test again from a fake application folder and expects it to pass there.
void RunCurrentTestInFakeFolder(bool unprivileged = false);

} // namespace faulttest
