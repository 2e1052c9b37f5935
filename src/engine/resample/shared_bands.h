// Bands of an image's rows shared between the calling thread and one helper thread, for the window's own actions
// where the other core is free.
#pragma once

#include <functional>

namespace vellicam {

// Calls make(band, onCaller) once for every band 0 .. count - 1: the calling thread and a helper thread take the
// bands in turn, each the next one not yet taken. The helper may start late when the other core is busy: the
// calling thread then takes every band itself and waits only for the bands the helper took. `onCaller` tells the
// band made on the calling thread (the one that may report progress). Without a helper (one that cannot be
// started) every band is made on the calling thread. Returns false when any band's make did.
[[nodiscard]] bool MakeBandsShared(int count, const std::function<bool(int band, bool onCaller)>& make);

} // namespace vellicam
