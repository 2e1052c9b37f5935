// Guards that end with their scope: the screen cursor overrides kept paired, and a function run however a scope
// ends.
#pragma once

#include <QCursor>

#include <utility>

namespace vellicam {

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
