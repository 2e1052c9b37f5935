// The callback that long pixel loops call so that a window can repaint and take clicks while they run.
#pragma once

#include <functional>

namespace vellicam {

// Called by long loops every few rows (never per pixel). The engine never sleeps or pumps events itself; the
// window decides, by the time passed, whether to let pending events run. An empty function is allowed.
using Progress = std::function<void()>;

inline void Report(const Progress& progress)
{
    if (progress)
        progress();
}

} // namespace vellicam
