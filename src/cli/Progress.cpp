#include "cli/Progress.h"

#include "pipeline/PathParts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Redrawing more often than this only costs the terminal's time.
const auto DrawEvery = std::chrono::milliseconds(200);

std::size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

std::string Clock(double seconds) {
    const long total = std::lround(seconds);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace

TProgress::TProgress(bool redraw, bool quiet) : Redraw(redraw && !quiet), Quiet(quiet) {}

void TProgress::Start(std::size_t items, double seconds) {
    std::lock_guard<std::mutex> lock(Lock);
    Items = items;
    TotalSeconds = seconds;
    Started = std::chrono::steady_clock::now();
    Draw(true);
}

void TProgress::Begin(std::size_t item, const std::string& name, double seconds) {
    std::lock_guard<std::mutex> lock(Lock);
    Running[item] = {pipeline::FileNamePart(name), seconds, 0};
    Draw(true);
}

void TProgress::Advance(std::size_t item, double fraction) {
    std::lock_guard<std::mutex> lock(Lock);
    const auto running = Running.find(item);
    if (running == Running.end())
        return;
    running->second.Fraction = std::clamp(fraction, running->second.Fraction, 1.0);
    Draw(false);
}

void TProgress::End(std::size_t item) {
    std::lock_guard<std::mutex> lock(Lock);
    const auto running = Running.find(item);
    if (running == Running.end())
        return;
    DoneSeconds += running->second.Seconds;
    ++Done;
    Running.erase(running);
    Draw(true);
}

void TProgress::Line(const std::string& text, bool error) {
    std::lock_guard<std::mutex> lock(Lock);
    if (Quiet && !error)
        return;
    if (Redraw && !error)
        return;
    Clear();
    std::fprintf(stderr, "%s\n", text.c_str());
    Draw(true);
}

void TProgress::Close() {
    std::lock_guard<std::mutex> lock(Lock);
    Clear();
}

void TProgress::Clear() {
    if (!Shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    Shown = false;
}

std::string TProgress::Status() const {
    double seconds = DoneSeconds;
    for (const auto& [item, running] : Running)
        seconds += running.Seconds * running.Fraction;
    // Without durations to go by, the count is all there is.
    double done = TotalSeconds > 0 ? seconds / TotalSeconds : Items ? double(Done) / Items : 0;
    done = std::clamp(done, 0.0, 1.0);
    char head[64];
    std::snprintf(head, sizeof head, "[%zu/%zu] %d%%", Done, Items, static_cast<int>(done * 100));
    std::string status = head;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    if (done > 0.01)
        status += ", " + Clock(elapsed * (1 - done) / done) + " left";
    const char* separator = "  ";
    for (const auto& [item, running] : Running) {
        status += separator + running.Name;
        separator = ", ";
    }
    return status;
}

void TProgress::Draw(bool now) {
    if (!Redraw)
        return;
    const auto at = std::chrono::steady_clock::now();
    if (!now && Shown && at - Drawn < DrawEvery)
        return;
    Drawn = at;
    std::string status = Status();
    // A line longer than the terminal would wrap, and \r would redraw only its last row.
    const std::size_t width = TerminalWidth();
    if (status.size() >= width) {
        status.resize(width - 1);
        // Not in the middle of a character.
        while (!status.empty() && (static_cast<unsigned char>(status.back()) & 0xC0) == 0x80)
            status.pop_back();
        if (!status.empty() && static_cast<unsigned char>(status.back()) >= 0xC0)
            status.pop_back();
    }
    std::fprintf(stderr, "\r%s\033[K", status.c_str());
    std::fflush(stderr);
    Shown = true;
}
