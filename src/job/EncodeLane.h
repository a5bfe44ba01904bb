#pragma once

#include "pipeline/AbortState.h"
#include "pipeline/Cons.h"
#include "platform/Console.h"

#include <cstddef>
#include <string>

class TBase;

// One output's encoder and tagger, run on a terminal of its own so that they go on while the
// job decodes the next source or encodes others beside this one.
class TEncodeLane {
public:
    enum class TStep { Idle, Encoding, Tagging };

    TStep Step = TStep::Idle;
    // The one source of this output, and its place among the job's sources.
    TBase* Source = nullptr;
    std::size_t Index = 0;
    // The name the output is to have, and the one it is written under meanwhile.
    std::string Wanted;
    std::string OutputFile;
    // The encoder's seconds done, as its screen last said.
    double SecondsDone = 0;
    TCons Cons;

    explicit TEncodeLane(const TAbortState& abort);
    // One given up while its tool runs stops the tool and removes the output it was making.
    ~TEncodeLane();
    TEncodeLane(const TEncodeLane&) = delete;
    TEncodeLane& operator=(const TEncodeLane&) = delete;

    // Starts the step's tool; false, and idle, when it could not be started.
    bool Start(TStep step, const std::string& commandLine);
    // Follows the running tool for at most sliceMs; true once it has ended.
    bool Follow(int sliceMs) { return Cons.Step(sliceMs); }
    // Back to idle, holding no output.
    void Release();

private:
    platform::TConsole Console;
};
