// Cutting the photo and drawing the print sheet.
#include "sheet/sheet_compose.h"

#include "core/stage_times.h"
#include "resample/reduce.h"
#include "resample/sharpen.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

namespace vellicam {

namespace {

// v · side / view, rounded half up on the first decimal. Worked on the quotient and remainder so that no
// product overflows, whatever the sizes.
bool ScaleToSquare(int value, int side, int view, int& out)
{
    const std::int64_t product = static_cast<std::int64_t>(value) * side;
    const std::int64_t whole = product / view;
    const std::int64_t tenth = (product % view) * 10 / view;
    const std::int64_t result = whole + (tenth >= 5 ? 1 : 0);
    if (result > INT_MAX)
        return false;
    out = static_cast<int>(result);
    return true;
}

bool LayoutUsable(const SheetLayout& layout)
{
    if (layout.Resolution < 1 || layout.SheetWidth < 1 || layout.SheetHeight < 1)
        return false;
    if (layout.CellCount < 0 || layout.CellCount > kMaxSheetCells)
        return false;
    for (int i = 0; i < layout.CellCount; ++i) {
        const SheetCell& cell = layout.Cells[i];
        if (cell.ImageWidth < 1 || cell.ImageHeight < 1 || cell.CutWidth < 0 || cell.CutHeight < 0)
            return false;
    }
    return true;
}

// Where a cell's photo lies on the sheet.
Rect PhotoRectOf(const SheetCell& c)
{
    const int left = c.CentreX - c.ImageWidth / 2, top = c.CentreY - c.ImageHeight / 2;
    return { left, top, left + c.ImageWidth, top + c.ImageHeight };
}

// The paper white wherever no cell's photo will lie. The photos are drawn whole over their rectangles after the marks,
// so nothing written under them is ever seen; leaving them out spares writing a third of the sheet's memory.
void FillAroundCells(Bitmap& sheet, const SheetLayout& layout)
{
    std::array<std::pair<int, int>, kMaxSheetCells> spans {};
    for (int y = 0; y < sheet.Height(); ++y) {
        std::size_t count = 0;
        for (int i = 0; i < layout.CellCount; ++i) {
            const Rect r = PhotoRectOf(layout.Cells[i]);
            if (y >= r.top && y < r.bottom)
                spans[count++] = { r.left, r.right };
        }
        std::sort(spans.begin(), spans.begin() + static_cast<std::ptrdiff_t>(count));
        int x = 0;
        for (std::size_t k = 0; k < count; ++k) {
            FillRect(sheet, { x, y, spans[k].first, y + 1 }, kWhite);
            x = std::max(x, spans[k].second);
        }
        FillRect(sheet, { x, y, sheet.Width(), y + 1 }, kWhite);
    }
}

void DrawCentreMarks(Bitmap& sheet, const SheetLayout& layout)
{
    for (int i = 0; i < layout.CellCount; ++i) {
        const SheetCell& cell = layout.Cells[i];
        // The lines reach a fifth of the image beyond it in all, half of that on each side.
        const int h = (cell.ImageWidth * 6 / 5) / 2;
        const int v = (cell.ImageHeight * 6 / 5) / 2;
        DrawLine(sheet, std::clamp(cell.CentreX - h, 0, layout.SheetWidth), cell.CentreY,
            std::clamp(cell.CentreX + h, 0, layout.SheetWidth), cell.CentreY, kBlack, PenStyle::DashDot);
        DrawLine(sheet, cell.CentreX, std::clamp(cell.CentreY - v, 0, layout.SheetHeight), cell.CentreX,
            std::clamp(cell.CentreY + v, 0, layout.SheetHeight), kBlack, PenStyle::DashDot);
    }
}

void DrawCornerMarks(Bitmap& sheet, const SheetLayout& layout)
{
    const int length = 5 * layout.Resolution * 10 / 254; // 5 mm
    for (int i = 0; i < layout.CellCount; ++i) {
        const SheetCell& cell = layout.Cells[i];
        const int hw = cell.CutWidth / 2, hh = cell.CutHeight / 2;
        // Top-left, top-right, bottom-left, bottom-right; `out` points away from the cut rectangle.
        const struct {
            int x, y, outX, outY;
        } corners[4] = {
            { cell.CentreX - hw, cell.CentreY - hh, -1, -1 },
            { cell.CentreX + hw, cell.CentreY - hh, 1, -1 },
            { cell.CentreX - hw, cell.CentreY + hh, -1, 1 },
            { cell.CentreX + hw, cell.CentreY + hh, 1, 1 },
        };
        for (const auto& c : corners) {
            DrawLine(sheet, c.x + c.outX * length, c.y, c.x, c.y, kBlack);
            DrawLine(sheet, c.x, c.y, c.x, c.y + c.outY * length, kBlack);
        }
    }
}

void DrawScale(Bitmap& sheet, const SheetLayout& layout, PenStyle pen)
{
    // A millimetre and a centimetre, each truncated on its own, as the printed scale has always been.
    const int mm = layout.Resolution * 10 / 254;
    const int cm = layout.Resolution * 100 / 254;
    const int y0 = layout.SheetHeight - cm / 2;
    const int y1 = y0 + mm;
    const int x = (layout.SheetWidth - 5 * cm) / 2;
    for (int k = 0; k <= 5; ++k)
        DrawLine(sheet, x + k * cm, y0, x + k * cm, y1, kBlack, pen);
    DrawLine(sheet, x, y1, x + 5 * cm, y1, kBlack, pen);
}

} // namespace

int CropRectFromFrame(int frameLeft, int frameTop, int frameWidth, int frameHeight, int scrollX, int scrollY,
    int squareSide, int viewWidth, CropRect& crop)
{
    if (squareSide < 1 || viewWidth < 1)
        return kCropBadScale;
    if (frameWidth < 1 || frameHeight < 1)
        return kCropEmptyFrame;
    const std::int64_t left64 = std::max<std::int64_t>(0, static_cast<std::int64_t>(frameLeft) + scrollX);
    const std::int64_t top64 = std::max<std::int64_t>(0, static_cast<std::int64_t>(frameTop) + scrollY);
    if (left64 > INT_MAX || top64 > INT_MAX)
        return kCropTooLarge;
    int left, top, width, height;
    if (!ScaleToSquare(static_cast<int>(left64), squareSide, viewWidth, left)
        || !ScaleToSquare(static_cast<int>(top64), squareSide, viewWidth, top)
        || !ScaleToSquare(frameWidth, squareSide, viewWidth, width)
        || !ScaleToSquare(frameHeight, squareSide, viewWidth, height))
        return kCropTooLarge;
    if (width < 1 || height < 1)
        return kCropEmptyFrame;
    // The cut keeps the frame's full size; only the part that lies on the square is taken from it.
    const auto capped = [squareSide](int start, int length) {
        const std::int64_t end = std::min<std::int64_t>(static_cast<std::int64_t>(start) + length, squareSide);
        return static_cast<int>(std::max<std::int64_t>(start, end));
    };
    crop.source = { left, top, capped(left, width), capped(top, height) };
    crop.width = width;
    crop.height = height;
    return kCropOk;
}

int CutPhoto(const Bitmap& square, const CropRect& crop, Bitmap& photo)
{
    if (crop.width < 1 || crop.height < 1)
        return kCropEmptyFrame;
    const Rect& s = crop.source;
    if (s.left < 0 || s.top < 0 || s.right > square.Width() || s.bottom > square.Height() || s.Width() < 1
        || s.Height() < 1)
        return kCropNothingToCut;
    // A cut of the size the last one had (the same frame cut again) is made in that one's memory.
    const bool inPlace = &photo != &square && photo.Width() == crop.width && photo.Height() == crop.height;
    Bitmap fresh;
    if (!inPlace && !fresh.ResizeUninitialized(crop.width, crop.height))
        return kCropOutOfMemory;
    Bitmap& cut = inPlace ? photo : fresh;
    if (s.Width() == crop.width && s.Height() == crop.height)
        CopyRect(square, s, cut, 0, 0);
    else
        StretchDraw(square, s, cut, { 0, 0, crop.width, crop.height });
    if (!inPlace)
        photo = std::move(fresh);
    return kCropOk;
}

bool NeedsEnlargement(const Bitmap& photo, const SheetLayout& layout)
{
    return NeedsEnlargement(photo.Width(), photo.Height(), layout);
}

bool NeedsEnlargement(int width, int height, const SheetLayout& layout)
{
    const FrameLimits limits = FrameLimitsOf(layout);
    return width < limits.FrameMinWidth || height < limits.FrameMinHeight;
}

bool SheetReport::ReductionRefused() const
{
    for (int i = 0; i < std::clamp(cellCount, 0, kMaxSheetCells); ++i)
        if (reduction[i] != kReduced && reduction[i] != kReductionNotSmaller)
            return true;
    return false;
}

int ComposeSheet(const Bitmap& photo, const SheetLayout& layout, const SheetOptions& options, Bitmap& sheet,
    SheetReport* report, const Progress& progress)
{
    return ComposeSheetFromRegion(
        photo, { 0, 0, photo.Width(), photo.Height() }, layout, options, sheet, report, progress);
}

int ComposeSheetFromRegion(const Bitmap& photo, const Rect& region, const SheetLayout& layout,
    const SheetOptions& options, Bitmap& sheet, SheetReport* report, const Progress& progress)
{
    if (photo.Empty() || region.left < 0 || region.top < 0 || region.right > photo.Width()
        || region.bottom > photo.Height() || region.Width() < 1 || region.Height() < 1)
        return kSheetNoPhoto;
    if (!LayoutUsable(layout))
        return kSheetBadLayout;
    const StageTimer timer(Stage::Compose);

    SheetReport local;
    local.cellCount = layout.CellCount;
    // A cell of the same size as an earlier one comes out identical, pixel for pixel: the reduction and the filter
    // depend on nothing but the photo and the size. Each size is therefore made once and drawn wherever it is used.
    // The cells are made before the sheet is touched, so that a failure leaves the sheet as it was.
    struct Made {
        int width, height, reduction;
        Bitmap image;
    };
    std::vector<Made> made;
    std::array<std::size_t, kMaxSheetCells> cellImage {};
    for (int i = 0; i < layout.CellCount; ++i) {
        const SheetCell& c = layout.Cells[i];
        auto found = std::find_if(made.begin(), made.end(),
            [&c](const Made& m) { return m.width == c.ImageWidth && m.height == c.ImageHeight; });
        if (found == made.end()) {
            Made m { c.ImageWidth, c.ImageHeight, 0, {} };
            if (!m.image.ResizeUninitialized(c.ImageWidth, c.ImageHeight))
                return kSheetOutOfMemory;
            {
                const StageTimer reducing(Stage::Reduce);
                m.reduction = ReduceHighQualityRegion(
                    photo, region, c.ImageHeight, c.ImageWidth, m.image, nullptr, progress, options.threads);
                if (m.reduction != kReduced)
                    StretchDraw(photo, region, m.image, { 0, 0, c.ImageWidth, c.ImageHeight });
            }
            if (options.sharpen) {
                const StageTimer sharpening(Stage::Sharpen);
                SharpenBitmap(m.image, progress, options.threads);
            }
            made.push_back(std::move(m));
            found = made.end() - 1;
            Report(progress);
        }
        local.reduction[i] = found->reduction;
        cellImage[static_cast<std::size_t>(i)] = static_cast<std::size_t>(found - made.begin());
    }

    // A sheet of the layout's size already (the one before) is drawn over in its own memory.
    const bool inPlace = sheet.Width() == layout.SheetWidth && sheet.Height() == layout.SheetHeight;
    Bitmap fresh;
    if (!inPlace && !fresh.ResizeUninitialized(layout.SheetWidth, layout.SheetHeight))
        return kSheetOutOfMemory;
    Bitmap& drawn = inPlace ? sheet : fresh;
    // The white and the photos are plain memory writes, as fast on one core as on two when the sheet is drawn over
    // in place. Shared with a helper they gained nothing and, right after a recognition, waited milliseconds for a
    // helper the scheduler had put behind the recognition's worker threads.
    FillAroundCells(drawn, layout);
    if (options.centreMarks)
        DrawCentreMarks(drawn, layout);
    if (options.cornerMarks)
        DrawCornerMarks(drawn, layout);
    // The scale has no pen of its own: it takes the one the marks left, dash-dot only after the centre marks
    // alone; the canvas's own pen is solid.
    if (options.scale && layout.ScaleFits)
        DrawScale(drawn, layout, options.centreMarks && !options.cornerMarks ? PenStyle::DashDot : PenStyle::Solid);
    for (int i = 0; i < layout.CellCount; ++i) {
        const Rect r = PhotoRectOf(layout.Cells[i]);
        Draw(made[cellImage[static_cast<std::size_t>(i)]].image, drawn, r.left, r.top);
    }
    Report(progress);
    if (!inPlace)
        sheet = std::move(fresh);
    if (report)
        *report = local;
    return kSheetOk;
}

int MakePreview(const Bitmap& sheet, Bitmap& preview, int previewHeight, const Progress& progress)
{
    if (sheet.Empty() || previewHeight < 1)
        return kSheetNoPhoto;
    const std::int64_t width64 = static_cast<std::int64_t>(sheet.Width()) * previewHeight / sheet.Height();
    if (width64 < 1 || width64 > INT_MAX)
        return kSheetBadLayout;
    const int width = static_cast<int>(width64);
    // The reduction leaves an equal-sized target where it is, so a separate target gets its size first.
    if (&preview != &sheet && !preview.ResizeUninitialized(width, previewHeight))
        return kSheetOutOfMemory;
    if (ReduceHighQuality(sheet, previewHeight, width, preview, nullptr, progress) == kReduced)
        return kSheetOk;
    Bitmap stretched;
    if (!stretched.ResizeUninitialized(width, previewHeight))
        return kSheetOutOfMemory;
    StretchDraw(sheet, stretched);
    preview = std::move(stretched);
    return kSheetOk;
}

} // namespace vellicam
