#pragma once

#include "cli/Library.h"
#include "cli/Options.h"
#include "cli/Progress.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
class TConsole;
}

// Runs the planned items, as many at once as the options say; each thread has its own terminal
// for its job's tools.
class TBatch {
public:
    TBatch(std::vector<TItem>& items, const TOptions& options, TProgress& progress);

    void Run();
    // From any thread: no item starts any more, and every running job stops its tool at once.
    void Stop();
    bool Stopped() const { return Stopping; }

    std::size_t Converted = 0;
    std::size_t Skipped = 0;
    std::size_t Failed = 0;

private:
    void Work();
    void Convert(std::size_t index, platform::TConsole& console);
    // The folder's cover image beside the item's outputs, never over a file there.
    void CopyArt(const TItem& item);
    void Count(std::size_t converted, std::size_t failed);

    std::vector<TItem>& Items;
    const TOptions& Options;
    TProgress& Progress;
    const unsigned Cores;
    std::mutex Lock;
    std::size_t Next = 0;
    std::atomic<bool> Stopping = false;
    std::vector<TMP4*> Running;
};
