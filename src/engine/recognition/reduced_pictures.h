// The two reduced pictures a recognition run makes of its working square, the detector's grey copy and the person
// mask's picture, in one pass over the part of the square that holds the photo.
#pragma once

#include "image/bitmap.h"
#include "recognition/detector_image.h"
#include "recognition/person_mask.h"
#include "resample/reduce.h"

#include <memory>
#include <string>

namespace vellicam {

// Makes `grey`, the detector's copy of `square` reduced by `factor` (MakeDetectorImage's pixels), and, when `mask` is
// given, the person mask's picture of it (MakeMaskPicture's at kPersonMaskLongSide; an empty picture when the square
// is all black). Reads each row of `photoArea` once and no pixel outside it: every pixel of the square outside
// `photoArea` must be black, as around a photo on its square or a turned one. An empty `photoArea` stands for the
// whole square; one reaching past the square is cut to it. Returns "" on success, else the reason (an empty square,
// a factor below 1, no memory); `grey` and `mask` are untouched then. With `threads` 2 bands of rows are made on
// two threads; the pictures are the same.
[[nodiscard]] std::string MakeReducedPictures(
    const Bitmap& square, Rect photoArea, int factor, GreyImage& grey, MaskPicture* mask, int threads = 1);

// The two pictures of a square kept for a later run, with the geometry they were made for.
struct ReducedPictures {
    GreyImage grey;
    MaskPicture mask;
    int squareWidth = 0, squareHeight = 0;
    Rect area; // the photo's area as read (the whole square for an empty one)
    int factor = 0;
    // Whether these are the pictures MakeReducedPictures(square, photoArea, factor, …, with the mask) makes of a
    // square of this size and area. Only the geometry is compared: the keeper knows the pixels have not changed.
    [[nodiscard]] bool MadeFor(const Bitmap& square, Rect photoArea, int factor) const;
};

// Makes a square's two pictures while its photo is being decoded into it, on a thread of its own: each band of rows
// as soon as the decoder has written it. One decoder keeps one core, and a second is otherwise idle until it ends.
// When a second decoder writes the lower rows at the same time, the thread keeps to the upper ones and that decoder
// reduces its own as it writes them. The pictures are those MakeReducedPictures makes of the finished square, mask
// picture included.
class PicturesWhileDecoding {
public:
    PicturesWhileDecoding();
    ~PicturesWhileDecoding(); // abandons the work
    PicturesWhileDecoding(const PicturesWhileDecoding&) = delete;
    PicturesWhileDecoding& operator=(const PicturesWhileDecoding&) = delete;

    // Starts on `square`, which must stay where it is and keep its size until Finish or Abandon, black outside
    // `photoArea`, whose rows the decoder writes from the top down. `view`, when given (prepared on the same rows),
    // is followed alongside; it is finished when Finish succeeds. False, and nothing made, when it cannot start.
    bool Start(const Bitmap& square, Rect photoArea, int factor, ReductionFollowingRows* view = nullptr);
    [[nodiscard]] bool Started() const;
    // The square's rows [from, to) are written. Called by the decoders (LoadImageInto's shares, as the square's
    // rows), by the upper one or the only one from the area's top down, by a lower one from where the upper share
    // ends; never throws.
    void RowsWritten(int from, int to) noexcept;
    // Every row is written: waits for the last bands and hands the pictures over. False when anything failed
    // (no memory), when it was never started, or when the rows did not all come.
    bool Finish(ReducedPictures& out);
    // Stops and waits for the thread; nothing is kept.
    void Abandon() noexcept;

private:
    struct Work;
    std::unique_ptr<Work> work_;
};

} // namespace vellicam
