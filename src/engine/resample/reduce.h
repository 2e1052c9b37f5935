// High-quality reduction: weighted area averaging in integer arithmetic, in hundredths of a source pixel.
#pragma once

#include "core/engine_error.h"
#include "image/bitmap.h"
#include "resample/progress.h"

#include <memory>

namespace vellicam {

// Result codes of ReduceHighQuality.
enum ReductionResult : int {
    kReduced = 0, // reduced, or copied because the sizes are equal
    kReductionAspectDiffers = -10,
    kReductionSourceTooLarge = -12,
    kReductionTargetTooLarge = -13,
    kReductionBeyondHundredth = -14,
    kReductionNotSmaller = -15,
    kReductionSizeBelowOne = -16, // a source or target side below 1
    kReductionOutOfMemory = -17, // the result or the working rows could not be allocated
};

// The largest width or height the reduction, the rotation and the sharpening work on.
inline constexpr int kMaxPlaneSide = 9600;

// Shrinks `source` to targetWidth × targetHeight into `destination`, by weighted area averaging.
// Refuses, in this order: sizes below 1 (-16), aspect ratios more than 3 points apart (-10), then equal sizes are
// drawn at (0, 0) without resizing the destination (0, with ErrorCode::SameSize), a source over 9600 (-12), a target
// over 9600 (-13), beyond 1/100 (-14), not smaller on both sides (-15). `destination` may be `source` itself.
// Fails with -17 when memory runs out. On a refusal or failure the destination is untouched.
// `error` (when given) receives what was refused and the width and height the refusal is about: the source's for a
// source below 1 pixel or over 9600, the target's otherwise; ErrorCode::None after a reduction.
// Note the argument order: the target's height comes before its width.
[[nodiscard]] int ReduceHighQuality(const Bitmap& source, int targetHeight, int targetWidth, Bitmap& destination,
    EngineError* error = nullptr, const Progress& progress = {});

// The same reduction of the part `region` of `source`, exactly as if that part had been cut out first (CopyRect)
// and reduced, without the copy. A region that does not lie wholly inside the source is refused as a size below 1
// (-16). `destination` must not be `source`.
// With `threads` of 2 or more, bands of rows are shared with a second thread (for the window's own actions, where the
// other core is free; a batch worker keeps to its one core): every row is made from the source alone, so the bytes
// do not depend on it. A second thread the busy machine starts late finds the rows made and is not waited for.
// Only the calling thread reports progress.
[[nodiscard]] int ReduceHighQualityRegion(const Bitmap& source, const Rect& region, int targetHeight, int targetWidth,
    Bitmap& destination, EngineError* error = nullptr, const Progress& progress = {}, int threads = 1);

// ReduceHighQualityRegion's reduction made while the source's rows are still being written from the top down (by a
// decoder on another thread): each row of the result as soon as the source rows it reads are there. The same bytes,
// made on one thread.
class ReductionFollowingRows {
public:
    ReductionFollowingRows();
    ~ReductionFollowingRows();
    ReductionFollowingRows(const ReductionFollowingRows&) = delete;
    ReductionFollowingRows& operator=(const ReductionFollowingRows&) = delete;

    // Ready to reduce `region` of `source` to targetWidth × targetHeight; false, and nothing to follow, where
    // ReduceHighQualityRegion would refuse or copy rather than reduce, or without the memory.
    bool Prepare(const Bitmap& source, const Rect& region, int targetHeight, int targetWidth);
    // Makes the rows that the source's rows above `written` allow. Throws std::bad_alloc without memory.
    void Follow(int written);
    // The source row the next row waits for: Follow makes it once the rows above this one are written.
    [[nodiscard]] int Wanted() const;
    [[nodiscard]] bool Done() const;
    // The reduction, once Done.
    [[nodiscard]] Bitmap Take();

private:
    struct State;
    std::unique_ptr<State> state_;
};

namespace detail {
// The same reduction through the portable loops only, whatever the processor offers, so that the tests can
// hold the vector loops to them.
[[nodiscard]] int ReduceHighQualityPortable(const Bitmap& source, int targetHeight, int targetWidth,
    Bitmap& destination, EngineError* error = nullptr, const Progress& progress = {});
} // namespace detail

} // namespace vellicam
