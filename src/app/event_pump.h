// Lets pending window events run during long engine work, at most every few tens of milliseconds, and keeps the
// screen cursor overrides paired.
#pragma once

#include "resample/progress.h"

#include <QCursor>
#include <QElapsedTimer>

namespace vellicam {

// Hands the engine a Progress that repaints the windows while a loop runs. By default user input waits until the
// work is done: a click that reset the working bitmaps in the middle of a loop reading them would pull the pixels
// from under it. Work that must stay abortable asks for input explicitly.
class EventPump {
public:
    enum class Input { Held, Delivered };
    explicit EventPump(Input input = Input::Held, int intervalMs = 30);

    // Runs pending events if the interval has passed since the last run.
    void Tick();
    // The Progress to pass to the engine; valid while this object lives.
    [[nodiscard]] Progress AsProgress()
    {
        return [this] { Tick(); };
    }
    [[nodiscard]] int Runs() const { return runs_; }

private:
    Input input_;
    int intervalMs_;
    int runs_ = 0;
    QElapsedTimer timer_;
};

// Lets every pending event run now, input included: the points where the window catches up on its messages.
void PumpEvents();

// Sets an application-wide cursor for its own lifetime; the previous cursor returns on every way out.
class OverrideCursor {
public:
    explicit OverrideCursor(Qt::CursorShape shape);
    ~OverrideCursor();
    OverrideCursor(const OverrideCursor&) = delete;
    OverrideCursor& operator=(const OverrideCursor&) = delete;
};

// Runs a function when the scope ends, however it ends.
template <typename F> class ScopeExit {
public:
    explicit ScopeExit(F f)
        : f_(std::move(f))
    {
    }
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

} // namespace vellicam
