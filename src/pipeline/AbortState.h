#pragma once

#include <atomic>

// Whether the running job is to stop, and whether the user asked for that with the Abort button.
// The job owns the one instance; its sources and console runs read it, so a request made anywhere
// reaches the tool that runs at the time. Atomic: a signal watcher asks from another thread.
class TAbortState {
public:
    // Closing the window during a run asks for an abort without the button.
    void Request() {
        TState idle = TState::Idle;
        State.compare_exchange_strong(idle, TState::Requested);
    }
    // The button also chooses the status texts shown after the run.
    void Press() { State = TState::Pressed; }
    // The next run starts unaborted.
    void Clear() { State = TState::Idle; }

    bool Requested() const { return State != TState::Idle; }
    bool Pressed() const { return State == TState::Pressed; }

private:
    enum class TState { Idle, Requested, Pressed };
    std::atomic<TState> State = TState::Idle;
};
