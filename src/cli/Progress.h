#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

// What a run tells on stderr. Redrawn: one status line rewritten in place (sources done of all,
// the ones running, percent and time left by audio duration), the errors above it. Otherwise
// one plain line per source as it ends. Safe to call from the jobs' threads.
class TProgress {
public:
    TProgress(bool redraw, bool quiet);

    void Start(std::size_t items, double seconds);
    void Begin(std::size_t item, const std::string& name, double seconds);
    // fraction of the item done, 0 to 1.
    void Advance(std::size_t item, double fraction);
    void End(std::size_t item);
    // A line about a source; errors are shown even when quiet.
    void Line(const std::string& text, bool error);
    // Clears the status line for what follows it.
    void Close();

private:
    struct TRunning {
        std::string Name;
        double Seconds = 0;
        double Fraction = 0;
    };
    void Draw(bool now);
    void Clear();
    std::string Status() const;

    const bool Redraw;
    const bool Quiet;
    std::mutex Lock;
    std::map<std::size_t, TRunning> Running;
    std::size_t Items = 0;
    std::size_t Done = 0;
    double TotalSeconds = 0;
    double DoneSeconds = 0;
    bool Shown = false;
    std::chrono::steady_clock::time_point Started;
    std::chrono::steady_clock::time_point Drawn;
};
