// The print sheet: cutting the framed region out of the square image, and drawing the marks, the scale and the
// photo cells onto a white sheet; the reduced copy shown in the preview.
#pragma once

#include "image/bitmap.h"
#include "resample/progress.h"
#include "sheet/sheet_layout.h"

#include <array>

namespace vellicam {

// The crop frame converted to square-image pixels.
struct CropRect {
    Rect source; // the square's pixels to cut; right and bottom limited to the square
    int width = 0; // the cut photo's size, not limited: a frame past the edge is stretched to this size
    int height = 0;
    friend bool operator==(const CropRect&, const CropRect&) = default;
};

enum CropResult : int {
    kCropOk = 0,
    kCropBadScale = -1, // square side or view width below 1
    kCropEmptyFrame = -2, // frame width or height below 1
    kCropTooLarge = -3, // the converted frame does not fit an int
    kCropNothingToCut = -4, // the frame lies wholly outside the square
    kCropOutOfMemory = -5,
};

// Converts the frame on the view (its left and top plus the scroll position, its size) to the square image of
// side squareSide shown viewWidth pixels wide: a negative left or top becomes 0, then each value v becomes
// v · squareSide / viewWidth rounded half up on the tenth. Refuses a scale or a frame below one pixel.
[[nodiscard]] int CropRectFromFrame(int frameLeft, int frameTop, int frameWidth, int frameHeight, int scrollX,
    int scrollY, int squareSide, int viewWidth, CropRect& crop);

// Makes `photo` crop.width × crop.height and fills it with the square's crop.source, stretched over the whole
// photo when the source was cut short by the square's edge. Refuses an empty crop or a source outside `square`;
// `photo` is untouched then.
[[nodiscard]] int CutPhoto(const Bitmap& square, const CropRect& crop, Bitmap& photo);

// True when the photo is narrower than the widest image or lower than the tallest image of the cells in use, so
// that making the sheet would enlarge it.
[[nodiscard]] bool NeedsEnlargement(const Bitmap& photo, const SheetLayout& layout);
// The same for a photo of width × height.
[[nodiscard]] bool NeedsEnlargement(int width, int height, const SheetLayout& layout);

struct SheetOptions {
    bool centreMarks = true;
    bool cornerMarks = true;
    bool scale = true;
    bool sharpen = false;
    // The threads each cell's reduction and sharpening may use: 2 where the other core is free, as in
    // the window's own sheet action. The sheet's bytes do not depend on it.
    int threads = 1;
};

// What the drawing of each cell met: ReduceHighQuality's result for every cell in use.
struct SheetReport {
    int cellCount = 0;
    std::array<int, kMaxSheetCells> reduction {};
    // Some cell's reduction was refused for another reason than the photo being too small: the cell was
    // stretched, and the window may ask whether to go on.
    [[nodiscard]] bool ReductionRefused() const;
};

enum SheetResult : int {
    kSheetOk = 0,
    kSheetNoPhoto = -1,
    kSheetBadLayout = -2, // sizes or resolution below 1, or more cells than the record holds
    kSheetOutOfMemory = -3,
};

// Draws the sheet: white, then the centre marks (dash-dot), the corner marks and the 5 cm scale as asked (the scale
// only where the layout has room for it), then each cell's image over them: the photo reduced to the cell
// (stretched when the reduction refuses), sharpened when asked. Each cell size is reduced once (cells of one size
// are identical). Refuses an empty photo or a nonsensical layout; `sheet` is untouched then.
[[nodiscard]] int ComposeSheet(const Bitmap& photo, const SheetLayout& layout, const SheetOptions& options,
    Bitmap& sheet, SheetReport* report = nullptr, const Progress& progress = {});
// The same sheet for the part `region` of `source` (lying wholly inside it), byte for byte as if that part had been
// cut out first (CutPhoto without a stretch): a frame on the square is composed without copying its pixels.
[[nodiscard]] int ComposeSheetFromRegion(const Bitmap& source, const Rect& region, const SheetLayout& layout,
    const SheetOptions& options, Bitmap& sheet, SheetReport* report = nullptr, const Progress& progress = {});

// The preview window's image height.
inline constexpr int kPreviewHeight = 712;

// The sheet reduced to previewHeight rows, its width in proportion (truncated), stretched when the reduction
// refuses. `preview` may be `sheet` itself. Refuses an empty sheet or a preview below one pixel.
[[nodiscard]] int MakePreview(
    const Bitmap& sheet, Bitmap& preview, int previewHeight = kPreviewHeight, const Progress& progress = {});

} // namespace vellicam
