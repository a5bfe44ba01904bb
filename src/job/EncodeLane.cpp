#include "job/EncodeLane.h"

#include "platform/Files.h"

TEncodeLane::TEncodeLane(const TAbortState& abort) {
    Cons.Abort = &abort;
    Cons.Console = &Console;
}

TEncodeLane::~TEncodeLane() {
    if (Step == TStep::Idle)
        return;
    Console.Terminate();
    Console.Finish();
    if (platform::FileExists(OutputFile))
        platform::DeleteFile(OutputFile);
}

bool TEncodeLane::Start(TStep step, const std::string& commandLine) {
    SecondsDone = 0;
    Step = Cons.Begin(commandLine, "0") ? step : TStep::Idle;
    return Step != TStep::Idle;
}

void TEncodeLane::Release() {
    Step = TStep::Idle;
    Source = nullptr;
    Wanted.clear();
    OutputFile.clear();
    SecondsDone = 0;
    Cons.OnPoll = nullptr;
}
