#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

// A hidden terminal: a pseudo-terminal whose output feeds a libvterm screen. It is opened on first
// use and kept until its owner ends; one child runs in it at a time. The window has the one of the
// process (Instance); the console converter gives each job running beside others its own.
class TConsole {
public:
    static TConsole& Instance();

    TConsole();

    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // Blanks the screen (and forgets anything the last tool left unread) and sizes it.
    bool Prepare(int width, int height);

    // Starts argv[0] as session leader on the terminal; workFolder empty keeps ours. False when
    // it could not be started (missing, not executable, not a program).
    bool Start(const std::vector<std::string>& argv, const std::string& workFolder);
    // Feeds output into the screen for at most timeoutMs; returns at once when the child ends.
    // True once the child has ended.
    bool Wait(int timeoutMs);
    // Kills the child's whole process group.
    void Terminate();
    // After the end: takes what is left in the terminal and reaps the child and its group.
    void Finish();

    // Rows from the top to the last non-blank one, trailing blanks removed; a blank screen is one
    // empty line.
    std::vector<std::string> Snapshot() const;

    ~TConsole();

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace platform
