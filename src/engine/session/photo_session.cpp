#include "session/photo_session.h"

#include "core/stage_times.h"
#include "image/image_io.h"
#include "image/photo.h"
#include "recognition/private_folder.h"
#include "resample/reduce.h"
#include "resample/rotate.h"
#include "resample/shared_bands.h"
#include "resample/sharpen.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>
#include <numbers>
#include <thread>

namespace vellicam {

namespace {

std::string WithSeparator(const std::string& folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

// Where a width × height photo lies in its square of `side` (PrepareSquareFor's place).
Rect PhotoInSquare(int side, int width, int height)
{
    const int left = width < height ? (side - width) / 2 : 0, top = width < height ? 0 : (side - height) / 2;
    return { left, top, left + width, top + height };
}

} // namespace

std::string PanelText(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const std::string_view part : parts) {
        if (part.empty())
            continue;
        if (!text.empty())
            text += "\u3000"; // a wide space
        text += part;
    }
    return text;
}

std::string RecognitionPanelText(std::string_view runStatus, const RecognitionReport& report)
{
    return PanelText({ runStatus, report.faceHeightText, report.outsideText, report.levellingText,
        report.outcome.otherPeople ? kTextOtherPeople : std::string_view(),
        report.outcome.smallFace ? kTextSmallFace : std::string_view() });
}

PhotoSession::PhotoSession(std::string programFolder)
    : programFolder_(std::move(programFolder))
{
    setLayout(DefaultSheetLayout());
    setThreads(2);
}

void PhotoSession::setThreads(int threads)
{
    threads_ = std::clamp(threads, 1, std::thread::hardware_concurrency() >= 2 ? 2 : 1);
}

void PhotoSession::setLayout(const SheetLayout& layout)
{
    layout_ = layout;
    limits_ = FrameLimitsOf(layout_);
}

int PhotoSession::setSheetSize(const Settings& settings)
{
    SheetLayout layout;
    const int built = SheetLayoutOf(settings, layout);
    const PhotoSize* size = FindPhotoSize(settings.photoSize);
    const PaperSize* paper = FindPaperSize(settings.paper);
    const bool named = built == kLayoutBuilt && size && paper;
    photoSize_ = named ? size : &DefaultPhotoSize();
    paper_ = named ? paper : &DefaultPaperSize();
    setLayout(layout);
    return built;
}

bool PhotoSession::hasSheetSize(const Settings& settings) const
{
    return settings.photoSize == photoSize_->id && settings.paper == paper_->id;
}

std::string PhotoSession::layoutStatusText() const
{
    return LayoutStatusText(*photoSize_, *paper_, layout_);
}

int PhotoSession::squareRowOf(int viewRow) const
{
    if (viewWidth_ < 1)
        return viewRow;
    // Half up on the tenth, as the frame's own rows are converted.
    const std::int64_t tenths = static_cast<std::int64_t>(viewRow) * square_.Width() * 10 / viewWidth_;
    return static_cast<int>((tenths + (tenths >= 0 ? 5 : -5)) / 10);
}

int PhotoSession::viewRowOf(int squareRow) const
{
    if (square_.Width() < 1)
        return squareRow;
    const std::int64_t tenths = static_cast<std::int64_t>(squareRow) * viewWidth_ * 10 / square_.Width();
    return static_cast<int>((tenths + (tenths >= 0 ? 5 : -5)) / 10);
}

bool PhotoSession::faceHeightCheck(FaceHeightCheck& check) const
{
    CropRect crop;
    if (!hasFace_ || frameInImage(crop) != kCropOk)
        return false;
    return CheckFaceHeight(*photoSize_, faceTop_, faceChin_, crop.height, check) == kFaceHeightChecked;
}

std::vector<PhotoCheck> PhotoSession::photoChecks(const MaskView* mask, bool backgroundReplaced) const
{
    const StageTimer timer(Stage::Checks);
    CheckInputs in;
    in.square = &square_;
    in.mask = mask;
    in.backgroundReplaced = backgroundReplaced;
    if (frameInImage(in.frame) != kCropOk)
        in.frame = {};
    CheckFace& face = in.face;
    if (hasFace_) {
        face.hasHeight = true;
        face.headTop = faceTop_;
        face.chin = faceChin_;
        face.hasCentre = true;
        face.centreX = faceCentre_;
    }
    if (recognisedFace_) {
        const auto turn = [this](double x, double y, double& tx, double& ty) { turnRecognisedPoint(x, y, tx, ty); };
        const FaceLandmarks& p = recognised_.points;
        if (recognised_.landmarks) {
            face.hasEyes = true;
            turn(p.leftEyeX, p.leftEyeY, face.leftEyeX, face.leftEyeY);
            turn(p.rightEyeX, p.rightEyeY, face.rightEyeX, face.rightEyeY);
            turn(p.chinX, p.chinY, face.chinX, face.chinY);
            face.hasOpening = recognised_.eyeOpeningKnown;
            face.opening = recognised_.eyeOpening;
        }
        const FaceRect& b = recognised_.face;
        if (b.x2 > b.x1 && b.y2 > b.y1) {
            double mx = 0, my = 0;
            turn((b.x1 + b.x2) / 2.0, (b.y1 + b.y2) / 2.0, mx, my);
            const int hw = (b.x2 - b.x1) / 2, hh = (b.y2 - b.y1) / 2;
            face.hasBox = true;
            face.box = { static_cast<int>(std::lround(mx)) - hw, static_cast<int>(std::lround(my)) - hh,
                static_cast<int>(std::lround(mx)) + hw, static_cast<int>(std::lround(my)) + hh };
        }
    }
    return CheckPhoto(*photoSize_, in);
}

void PhotoSession::turnRecognisedPoint(double x, double y, double& tx, double& ty) const
{
    // The square turns about its centre; a turn of d tenths turns every point of the photo by d / 10 degrees
    // (the sign LevellingAngle proposes with: adding it levels the eye line).
    const double radians = (angle_ - recognisedAngle_) / 10.0 * std::numbers::pi / 180;
    const double c = std::cos(radians), s = std::sin(radians);
    const double cx = square_.Width() / 2.0, cy = square_.Height() / 2.0;
    tx = cx + c * (x - cx) - s * (y - cy);
    ty = cy + s * (x - cx) + c * (y - cy);
}

std::vector<ConfirmedFace> PhotoSession::recognisedFaces() const
{
    std::vector<ConfirmedFace> faces;
    if (!recognisedFace_)
        return faces;
    const auto turned = [this](int x, int y, int& tx, int& ty) {
        double dx = 0, dy = 0;
        turnRecognisedPoint(x, y, dx, dy);
        tx = static_cast<int>(std::lround(dx));
        ty = static_cast<int>(std::lround(dy));
    };
    for (const ConfirmedFace& f : recognised_.faces) {
        ConfirmedFace t = f;
        int mx = 0, my = 0;
        turned((f.box.x1 + f.box.x2) / 2, (f.box.y1 + f.box.y2) / 2, mx, my);
        t.box = { mx - (f.box.x2 - f.box.x1) / 2, my - (f.box.y2 - f.box.y1) / 2, 0, 0 };
        t.box.x2 = t.box.x1 + (f.box.x2 - f.box.x1);
        t.box.y2 = t.box.y1 + (f.box.y2 - f.box.y1);
        const FaceLandmarks& p = f.points;
        turned(p.chinX, p.chinY, t.points.chinX, t.points.chinY);
        turned(p.leftEyeX, p.leftEyeY, t.points.leftEyeX, t.points.leftEyeY);
        turned(p.rightEyeX, p.rightEyeY, t.points.rightEyeX, t.points.rightEyeY);
        if (p.hasSides) {
            turned(p.leftSideX, p.leftSideY, t.points.leftSideX, t.points.leftSideY);
            turned(p.rightSideX, p.rightSideY, t.points.rightSideX, t.points.rightSideY);
        }
        faces.push_back(t);
    }
    return faces;
}

std::vector<PhotoSession::FaceOutline> PhotoSession::otherFaceOutlines(const ViewMapping& view) const
{
    std::vector<FaceOutline> outlines;
    const std::vector<ConfirmedFace> faces = recognisedFaces();
    if (faces.size() < 2)
        return outlines;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (static_cast<int>(i) == chosenFace())
            continue;
        const FaceRect& b = faces[i].box;
        const ViewPoint a = ImageToView(b.x1, b.y1, view), z = ImageToView(b.x2, b.y2, view);
        if (z.x > a.x && z.y > a.y)
            outlines.push_back({ static_cast<int>(i), { a.x, a.y, z.x, z.y } });
    }
    return outlines;
}

int PhotoSession::otherFaceAt(const ViewMapping& view, int x, int y) const
{
    for (const FaceOutline& o : otherFaceOutlines(view))
        if (x >= o.rect.left && x < o.rect.right && y >= o.rect.top && y < o.rect.bottom)
            return o.face;
    return -1;
}

std::string PhotoSession::faceHeightText() const
{
    FaceHeightCheck check;
    return faceHeightCheck(check) ? FaceHeightText(check, *photoSize_) : std::string();
}

void PhotoSession::setPhotoFolder(const std::string& folder)
{
    photoFolder_ = WithSeparator(folder);
}

OpenOutcome PhotoSession::open(const std::string& path, bool sharpenView, const Progress& progress, int viewSide)
{
    if (!path.empty() && path == photoPath_)
        return {}; // the same photo again: from memory, without reading the file
    // Decoded straight into its working square: the view is drawn from the photo's part of it, and a turn takes
    // the photo out of it once.
    return openIntoSquare(path, sharpenView, progress, viewSide);
}

OpenOutcome PhotoSession::adopt(const std::string& path, Bitmap decoded, bool sharpenView, const Progress& progress)
{
    OpenOutcome outcome;
    std::error_code ec;
    if (IsLowResolution(decoded.Width(), decoded.Height()))
        outcome.lowResolution = LowResolutionMessage(decoded.Width(), decoded.Height());
    if (SquareTooLarge(decoded.Width(), decoded.Height())) {
        outcome.result = OpenOutcome::TooLarge;
        outcome.error = { ErrorCode::TooLarge, ErrorDomain::Decode, {}, decoded.Width(), decoded.Height() };
        outcome.reason = PhotoTooLargeText(decoded.Width(), decoded.Height());
        outcome.failure = PhotoOpenFailureText(path, outcome.error);
        return outcome;
    }
    Bitmap square;
    bool built = false;
    {
        const StageTimer timer(Stage::Square);
        int left = 0, top = 0;
        built = PrepareSquareFor(decoded.Width(), decoded.Height(), square, left, top);
        // The photo's rows copied in bands, on both cores when the session has them: most of the time goes to the
        // system's first touch of the square's fresh pages.
        const int bands = threads_ > 1 ? 8 : 1;
        const auto copyBand = [&](int band, bool) {
            const int h = decoded.Height();
            const int y1 = static_cast<int>(static_cast<std::int64_t>(h) * band / bands);
            const int y2 = static_cast<int>(static_cast<std::int64_t>(h) * (band + 1) / bands);
            CopyRect(decoded, { 0, y1, decoded.Width(), y2 }, square, left, top + y1);
            return true;
        };
        if (built && bands > 1)
            (void)MakeBandsShared(bands, copyBand);
        else if (built)
            (void)copyBand(0, true);
    }
    if (!built) {
        outcome.result = OpenOutcome::OutOfMemory;
        outcome.error = { ErrorCode::OutOfMemory, ErrorDomain::Memory };
        outcome.reason = kTextOutOfMemory;
        outcome.failure = PhotoOpenFailureText(path, outcome.error);
        return outcome;
    }
    const int width = decoded.Width(), height = decoded.Height();
    takePhoto(path, std::move(decoded), std::move(square), width, height, sharpenView, progress);
    return outcome;
}

OpenOutcome PhotoSession::openIntoSquare(
    const std::string& path, bool sharpenView, const Progress& progress, int viewSide)
{
    OpenOutcome outcome;
    Bitmap square;
    int width = 0, height = 0;
    bool tooLarge = false;
    Rect placed;
    // With a second core, the recognition's reduced pictures, and the view's when its side is known, are made on it
    // while the decoders fill the square.
    PicturesWhileDecoding pictures;
    ReductionFollowingRows view;
    const PhotoPlacement place = [&](int w, int h, int& left, int& top) -> Bitmap* {
        width = w;
        height = h;
        tooLarge = SquareTooLarge(w, h);
        if (tooLarge || !PrepareSquareFor(w, h, square, left, top))
            return nullptr;
        placed = { left, top, left + w, top + h };
        if (threads_ > 1) {
            const Size fitted = FittedSize(placed.Width(), placed.Height(), viewSide, viewSide);
            const bool withView = viewSide > 0 && view.Prepare(square, placed, fitted.height, fitted.width);
            (void)pictures.Start(
                square, placed, DetectorImageFactor(square.Width(), square.Height()), withView ? &view : nullptr);
        }
        return &square;
    };
    const RowsPlaced rowsPlaced = [&](int from, int to) { pictures.RowsWritten(placed.top + from, placed.top + to); };
    const IoResult loaded
        = LoadImageInto(path, place, progress, threads_ > 1 ? rowsPlaced : RowsPlaced(), otherCoreBusy_ ? 1 : threads_);
    std::unique_ptr<ReducedPictures> made;
    if (loaded && pictures.Started()) {
        pictures.RowsWritten(placed.top, placed.bottom);
        made.reset(new (std::nothrow) ReducedPictures());
        if (made && !pictures.Finish(*made))
            made.reset();
    }
    pictures.Abandon(); // what was not finished: a failed read, or no memory to keep it
    if (loaded && IsLowResolution(width, height))
        outcome.lowResolution = LowResolutionMessage(width, height);
    if (tooLarge) {
        outcome.result = OpenOutcome::TooLarge;
        outcome.error = { ErrorCode::TooLarge, ErrorDomain::Decode, {}, width, height };
        outcome.reason = PhotoTooLargeText(width, height);
        outcome.failure = PhotoOpenFailureText(path, outcome.error);
        return outcome;
    }
    if (!loaded) {
        outcome.readerMessage = loaded.message;
        // As open says it: the square that could not be had is a photo that does not fit the memory.
        const bool memory = loaded.error.domain == ErrorDomain::Memory || loaded.error.code == ErrorCode::OutOfMemory;
        outcome.result = loaded.error.domain == ErrorDomain::File ? OpenOutcome::NotFound
            : memory                                              ? OpenOutcome::OutOfMemory
                                                                  : OpenOutcome::Unreadable;
        outcome.error = memory ? EngineError { ErrorCode::OutOfMemory, ErrorDomain::Memory } : loaded.error;
        outcome.reason = memory ? std::string(kTextOutOfMemory) : FailureReasonText(loaded.error, path);
        outcome.failure = PhotoOpenFailureText(path, outcome.error);
        return outcome;
    }
    takePhoto(path, Bitmap(), std::move(square), width, height, sharpenView, progress);
    if (!turned_) {
        picturesOfSquare_ = std::move(made);
        if (picturesOfSquare_ && view.Done()) {
            fittedOfSquare_ = view.Take();
            fittedSide_ = viewSide;
        }
    }
    return outcome;
}

void PhotoSession::takePhoto(const std::string& path, Bitmap original, Bitmap square, int width, int height,
    bool sharpenView, const Progress& progress)
{
    std::error_code ec;
    original_ = std::move(original);
    square_ = std::move(square);
    forgetPicturesOfSquare();
    photoWidth_ = width;
    photoHeight_ = height;
    shown_.Clear();
    turned_ = false;
    photoPath_ = path;
    photoFolder_ = WithSeparator(std::filesystem::absolute(path, ec).parent_path().string());
    sheetTargets_.reset(); // a photo opened by itself belongs to no run; a batch gives its run again
    hasFace_ = false;
    recognisedFace_ = false;
    proposedOutside_ = false;
    imageSide_ = std::max(width, height);
    // A frame kept for the next photo keeps its place on the view: its pixels are those of the new square.
    if (hasFrame_)
        setFrame(frame_);
    releaseSheet();
    history_.clear();
    if (angle_ != 0 && !tooLargeToTurn())
        (void)turnSquare(angle_, sharpenView, progress);
}

void PhotoSession::close()
{
    history_.clear();
    photoPath_.clear();
    original_.Clear();
    square_.Clear();
    forgetPicturesOfSquare();
    photoWidth_ = photoHeight_ = 0;
    shown_.Clear();
    turned_ = false;
    angle_ = 0;
    headLineProposal_ = 0;
    imageSide_ = 0;
    hasFrame_ = false;
    sheetTargets_.reset();
    hasFace_ = false;
    recognisedFace_ = false;
    proposedOutside_ = false;
    releaseSheet();
}

void PhotoSession::forgetPicturesOfSquare()
{
    picturesOfSquare_.reset();
    fittedOfSquare_.Clear();
    fittedSide_ = 0;
}

void PhotoSession::releaseSheet()
{
    cut_.Clear();
    cutSize_ = {};
    spareSheet_.reset();
    if (sheet_.use_count() == 1)
        sheet_->Clear();
    else
        sheet_ = std::make_shared<Bitmap>();
    preview_.Clear();
}

int PhotoSession::fitShownImage(int side, Bitmap& fitted, std::string* reductionMessage, const Progress& progress) const
{
    // Before a turn the view shows the photo: its part of the square, or the photo itself once a turn took it out.
    const bool inSquare = !turned_ && original_.Empty();
    const Bitmap& image = turned_ ? shown_ : inSquare ? square_ : original_;
    const Rect area = inSquare ? PhotoInSquare(square_.Width(), photoWidth_, photoHeight_)
                               : Rect { 0, 0, image.Width(), image.Height() };
    const Size size = FittedSize(area.Width(), area.Height(), side, side);
    if (inSquare && side == fittedSide_ && fittedOfSquare_.Width() == size.width
        && fittedOfSquare_.Height() == size.height) {
        // Made while the photo decoded.
        try {
            fitted = fittedOfSquare_;
        } catch (const std::bad_alloc&) {
            return -1;
        }
        if (reductionMessage)
            reductionMessage->clear();
        return 0;
    }
    if (size.width == area.Width() && size.height == area.Height()) {
        if (!fitted.ResizeUninitialized(area.Width(), area.Height()))
            return -1;
        CopyRect(image, area, fitted, 0, 0);
        return 0;
    }
    EngineError error;
    // On both cores when the session has them: the window waits for this view before anything else.
    const int reduced
        = ReduceHighQualityRegion(image, area, size.height, size.width, fitted, &error, progress, threads_);
    if (reductionMessage)
        *reductionMessage = ReductionMessage(error);
    if (reduced == kReduced)
        return 0;
    // The reduction declines an enlargement (and a few odd sizes): a plain stretch shows those.
    if (!fitted.Resize(size.width, size.height))
        return -1;
    if (!inSquare) {
        StretchDraw(image, fitted);
        return 0;
    }
    Bitmap photo;
    if (!photo.ResizeUninitialized(area.Width(), area.Height()))
        return -1;
    CopyRect(image, area, photo, 0, 0);
    StretchDraw(photo, fitted);
    return 0;
}

bool PhotoSession::tooLargeToTurn() const
{
    return std::max(photoWidth_, photoHeight_) > kMaxPlaneSide;
}

int PhotoSession::turnSquare(int angle, bool sharpenView, const Progress& progress)
{
    const StageTimer timer(Stage::Square);
    if (original_.Empty() && photoWidth_ > 0) {
        // An opened photo lives in its square only: the photo is taken back out of it, once.
        const Rect placed = PhotoInSquare(square_.Width(), photoWidth_, photoHeight_);
        if (!original_.ResizeUninitialized(photoWidth_, photoHeight_))
            return -2;
        CopyRect(square_, placed, original_, 0, 0);
    }
    Bitmap rotated;
    if (BuildRotatedSquare(original_, angle, rotated, progress) == -2)
        return -2;
    forgetPicturesOfSquare();
    if (headless_) {
        // Nobody looks: no view image.
        square_ = std::move(rotated);
        hasFace_ = false;
        turned_ = true;
        turnedBy_ = angle;
        return 0;
    }
    try {
        square_ = rotated;
    } catch (const std::bad_alloc&) {
        return -2;
    }
    shown_ = std::move(rotated);
    hasFace_ = false; // the face has moved under the frame
    // Only the view is sharpened; the square keeps the plain turn for the cut and recognition.
    if (sharpenView)
        SharpenBitmap(shown_, progress);
    turned_ = true;
    turnedBy_ = angle;
    return 0;
}

RotateOutcome PhotoSession::rotateTo(int angle, bool sharpenView, const Progress& progress)
{
    RotateOutcome outcome;
    if (tooLargeToTurn()) {
        // The turn would leave a white square in place of the photo: keep the photo as it is instead.
        outcome.refusal = kTextTooLargeToTurn;
        return outcome;
    }
    angle_ = angle;
    if (turnSquare(angle_, sharpenView, progress) != 0) {
        outcome.refusal = kTextOutOfMemory;
        return outcome;
    }
    outcome.turned = true;
    outcome.status = RotationStatusText(angle_);
    return outcome;
}

RotateOutcome PhotoSession::rotateBy(int step, bool reset, bool sharpenView, const Progress& progress)
{
    if (tooLargeToTurn())
        return rotateTo(angle_, sharpenView, progress);
    return rotateTo(reset ? 0 : StepRotationAngle(angle_, step), sharpenView, progress);
}

void PhotoSession::setView(int viewSide, int viewWidth, int viewHeight)
{
    const bool rescaled = viewSide != viewSide_ || viewWidth != viewWidth_ || viewHeight != viewHeight_;
    viewSide_ = viewSide;
    viewWidth_ = viewWidth;
    viewHeight_ = viewHeight;
    // The frame stays over its part of the square: shown anew at the view's scale, its square pixels untouched,
    // so that no zoom or resize, there and back, wears it down.
    if (rescaled && hasFrame_ && frameSquareResult_ == kCropOk)
        frame_ = viewBoundsOf(frameSquare_);
}

ControlBounds PhotoSession::viewBoundsOf(const CropRect& crop) const
{
    const int side = square_.Width();
    if (side < 1 || viewWidth_ < 1 || crop.width < 1 || crop.height < 1)
        return frame_;
    const auto nearest = [&](int value) {
        return static_cast<int>((static_cast<std::int64_t>(value) * viewWidth_ * 2 + side) / (2 * side));
    };
    // The smallest view length that converts back to at least `value` square pixels.
    const auto covering = [&](int value) {
        int length = static_cast<int>((static_cast<std::int64_t>(value) * viewWidth_ + side - 1) / side);
        CropRect back;
        while (length > 1 && CropRectFromFrame(0, 0, length - 1, length - 1, 0, 0, side, viewWidth_, back) == kCropOk
            && back.width >= value)
            --length;
        return std::max(length, 1);
    };
    return { nearest(crop.source.left), nearest(crop.source.top), covering(crop.width), covering(crop.height) };
}

ViewFrameLimits PhotoSession::viewLimits() const
{
    return FrameLimitsInView(limits_, viewSide_, imageSide_);
}

void PhotoSession::setFrame(const ControlBounds& frame)
{
    frame_ = frame;
    hasFrame_ = true;
    frameSquareResult_ = CropRectFromFrame(
        frame_.left, frame_.top, frame_.width, frame_.height, 0, 0, square_.Width(), viewWidth_, frameSquare_);
}

void PhotoSession::centreMinimumFrame()
{
    hasFace_ = false;
    proposedOutside_ = false;
    setFrame(CentredMinimumFrame(limits_, viewSide_, imageSide_, viewWidth_, viewHeight_));
}

int PhotoSession::frameInImage(CropRect& crop) const
{
    if (!hasFrame_)
        return kCropEmptyFrame;
    if (frameSquareResult_ == kCropOk)
        crop = frameSquare_;
    return frameSquareResult_;
}

FrameAndTurn PhotoSession::frameAndTurn() const
{
    FrameAndTurn state;
    state.angle = angle_;
    state.hasFrame = hasFrame_ && frameSquareResult_ == kCropOk;
    if (state.hasFrame)
        state.frame = frameSquare_;
    return state;
}

void PhotoSession::restoreFrame(const FrameAndTurn& state)
{
    if (!state.hasFrame) {
        hasFrame_ = false;
        return;
    }
    // The square pixels themselves, not their view rounding: back and forth leaves the frame as it was.
    setFrameInImage(state.frame);
    if (hasFrame_ && frameSquareResult_ == kCropOk)
        frameSquare_ = state.frame;
}

void PhotoSession::setFrameInImage(const CropRect& crop)
{
    if (square_.Width() < 1 || viewWidth_ < 1 || crop.width < 1 || crop.height < 1)
        return;
    const ControlBounds shown = viewBoundsOf(crop);
    const ViewFrameLimits limits = viewLimits();
    const auto within = [](int length, int least, int most) {
        return std::max({ std::min(length, std::max(most, 1)), least, 1 });
    };
    const int width = within(shown.width, limits.minWidth, limits.maxWidth);
    const int height = within(shown.height, limits.minHeight, limits.maxHeight);
    setFrame({ shown.left, shown.top, width, height });
    // The square's pixels are the frame; the view shows them to its nearest pixel. A cut held to the view's
    // limits is the one shown.
    if (frameSquareResult_ == kCropOk && width == shown.width && height == shown.height)
        frameSquare_ = crop;
}

HeadLineOutcome PhotoSession::followHeadLine(int sx, int sy, int x, int y)
{
    HeadLineOutcome outcome;
    outcome.line = EvaluateHeadLine(sx, sy, x, y);
    // A vertical line needs no turn, whatever the line before it proposed.
    headLineProposal_ = outcome.line.vertical ? 0 : outcome.line.rotationProposal;
    outcome.proposal = headLineProposal_;
    outcome.angleStatus = HeadLineStatusText(outcome.line);
    outcome.pointsStatus = LinePointsText(sx, sy, x, y);
    return outcome;
}

int PhotoSession::releaseHeadLine(int sx, int sy, int ex, int ey)
{
    headLineProposal_ = RotationProposalOf(sx, sy, ex, ey);
    return headLineProposal_;
}

RotateOutcome PhotoSession::acceptHeadLineProposal(bool sharpenView, const Progress& progress)
{
    if (tooLargeToTurn())
        return rotateTo(angle_, sharpenView, progress);
    return rotateTo(AngleAfterProposal(angle_, headLineProposal_), sharpenView, progress);
}

bool PhotoSession::frameFromHeadLine(int sx, int sy, int ex, int ey)
{
    if (!frameAroundLine(sx, sy, ex, ey))
        return false;
    // The line runs from the head top to the chin.
    hasFace_ = true;
    faceTop_ = squareRowOf(sy);
    faceChin_ = squareRowOf(ey);
    faceCentre_ = squareRowOf(sx + (ex - sx) / 2);
    return true;
}

void PhotoSession::remakeFrame()
{
    const int centre = viewRowOf(faceCentre_);
    if (!hasFace_ || !frameAroundLine(centre, viewRowOf(faceTop_), centre, viewRowOf(faceChin_))) {
        centreMinimumFrame();
        putProposedFrameOnPhoto();
    }
}

PhotoArea PhotoSession::photoArea() const
{
    const int side = square_.Width();
    if (side < 1 || viewWidth_ < 1)
        return {};
    // One view pixel for the frame's rounding onto the view and back, and two square pixels for the rotation's
    // sampling, which blends the photo's edge with the black beside it.
    const double inset = 1.0 + 2.0 * viewWidth_ / side;
    return PhotoAreaOnView(photoWidth_, photoHeight_, turned_ ? angle_ : 0, viewWidth_, inset);
}

void PhotoSession::putProposedFrameOnPhoto()
{
    ControlBounds placed;
    proposedOutside_ = PlaceFrameOnPhoto(frame_, photoArea(), placed) == kFrameLargerThanPhoto;
    setFrame(placed);
}

bool PhotoSession::frameOutsidePhoto() const
{
    return proposedOutside_ && hasFrame_ && !FrameLiesOnPhoto(frame_, photoArea());
}

std::string PhotoSession::frameOutsideText() const
{
    return frameOutsidePhoto() ? std::string(kTextFrameOutsidePhoto) : std::string();
}

std::string PhotoSession::framePanelText() const
{
    return PanelText({ faceHeightText(), frameOutsideText() });
}

bool PhotoSession::frameAroundLine(int sx, int sy, int ex, int ey)
{
    const ViewFrameLimits view = viewLimits();
    const SheetCell& cell = layout_.Cells[0];
    HeadLineFrameInput in;
    in.sx = sx;
    in.sy = sy;
    in.ex = ex;
    in.ey = ey;
    in.cellImageHeight = cell.ImageHeight;
    in.headTopMargin = cell.HeadTopMargin;
    in.chinMargin = cell.ChinMargin;
    in.minWidth = view.minWidth;
    in.minHeight = view.minHeight;
    in.aspectWidth = limits_.FrameAspectWidth;
    in.aspectHeight = limits_.FrameAspectHeight;
    ControlBounds frame;
    if (FrameFromLine(in, frame) != kHeadLineFramePlaced)
        return false;
    setFrame(frame);
    putProposedFrameOnPhoto();
    return true;
}

RecognitionOutcome PhotoSession::runRecognition(const Settings& settings, bool silentSkip, Prompts& prompts,
    const RecognitionHooks& hooks, bool place, RecognitionReport& result,
    const std::function<int(const ProposedFramePlacement&)>& drawFrame, int faceIndex)
{
    RecognitionHooks runHooks = hooks;
    runHooks.placeFrame = [&](const RecognitionOutcome& outcome) {
        if (!place)
            return static_cast<int>(kRecognised);
        ProposedFramePlacement placement;
        const ChinDetection* chin = outcome.chinAccepted ? &outcome.chin : nullptr;
        const ViewMapping mapping { viewSide_, imageSide_, 0, 0, viewWidth_, viewHeight_ };
        // A refusal means a proposal too far out to be placed at all; like a picture that cannot be had, the frame
        // that was there comes back.
        if (PlaceProposedFrame(outcome.proposal, outcome.face, chin, limits_, mapping, placement) != kPlaced)
            return static_cast<int>(kRecognitionOutOfMemory);
        result.statusText = ProposalStatusText(placement.beforeFit);
        if (hooks.status)
            hooks.status(result.statusText);
        if (placement.frame.width < 1 || placement.frame.height < 1)
            return static_cast<int>(kRecognitionOutOfMemory);
        // Onto the photo's own pixels before it is drawn; the outlines are drawn relative to the frame, so they
        // move back by as much to stay on the face.
        ControlBounds onPhoto;
        const bool outside = PlaceFrameOnPhoto(placement.frame, photoArea(), onPhoto) == kFrameLargerThanPhoto;
        for (ResultOutline& line : placement.outlines) {
            const int dx = onPhoto.left - placement.frame.left, dy = onPhoto.top - placement.frame.top;
            line.rect = { line.rect.left - dx, line.rect.top - dy, line.rect.right - dx, line.rect.bottom - dy };
        }
        placement.frame = onPhoto;
        if (drawFrame) {
            if (const int drawn = drawFrame(placement); drawn != 0)
                return drawn;
        }
        setFrame(placement.frame);
        proposedOutside_ = outside;
        hasFace_ = true;
        faceTop_ = outcome.proposal.headTop;
        faceChin_ = outcome.proposal.chinLine;
        faceCentre_ = outcome.proposal.frameLeft + (outcome.proposal.frameRight - outcome.proposal.frameLeft) / 2;
        recognisedFace_ = true;
        recognisedAngle_ = angle_;
        recognised_.face = outcome.face;
        recognised_.landmarks = outcome.landmarks;
        recognised_.points = outcome.points;
        recognised_.eyeOpeningKnown = outcome.eyeOpeningKnown;
        recognised_.eyeOpening = outcome.eyeOpening;
        recognised_.faces = outcome.faces;
        recognised_.chosenFace = outcome.chosenFace;
        result.faceHeightText = faceHeightText();
        result.outsideText = frameOutsideText();
        result.placement = std::move(placement);
        result.framePlaced = true;
        return static_cast<int>(kRecognised);
    };

    const StageTimer timer(Stage::Recognition);
    RecognitionOutcome outcome;
    try {
        // The user's cache, or without a home (cron, a service, a container) a folder of ours in the temporary one.
        std::string reason;
        const std::string workFolder = PrepareRecognitionWorkFolder(&reason);
        const RunFolder runFolder(workFolder);
        if (runFolder.Path().empty()) {
            prompts.detail("recognition work folder " + (workFolder.empty() ? reason : workFolder + ": no run folder"));
            outcome.result = kRecognitionTempNotSaved;
            outcome.message = std::string(kMessageTempNotSaved);
            return outcome;
        }
        RecognitionSettings runSettings = RecognitionSettingsOf(settings, silentSkip, photoFolder_, photoPath_);
        runSettings.faceIndex = faceIndex;
        runSettings.threads = threads_;
        runSettings.photoArea = turned_ ? TurnedPhotoArea(photoWidth_, photoHeight_, turnedBy_)
                                        : PhotoInSquare(square_.Width(), photoWidth_, photoHeight_);
        outcome = RecognitionRun(square_, programFolder_, runFolder.Path(), runSettings, layout_, imageSide_, runHooks,
            picturesOfSquare_.get());
    } catch (const std::bad_alloc&) {
        outcome = {};
        outcome.result = kRecognitionOutOfMemory;
    }
    return outcome;
}

RecognitionReport PhotoSession::recognise(const Settings& settings, bool silentSkip, Prompts& prompts,
    const RecognitionHooks& hooks, const std::function<int(const ProposedFramePlacement&)>& drawFrame)
{
    return recogniseFace(-1, settings, silentSkip, prompts, hooks, drawFrame);
}

RecognitionReport PhotoSession::recogniseFace(int faceIndex, const Settings& settings, bool silentSkip,
    Prompts& prompts, const RecognitionHooks& hooks, const std::function<int(const ProposedFramePlacement&)>& drawFrame)
{
    RecognitionReport result;
    RecognitionOutcome& outcome = result.outcome;
    const bool straighten = settings.straightenAutomatically && !tooLargeToTurn();
    outcome = runRecognition(settings, silentSkip, prompts, hooks, !straighten, result, drawFrame, faceIndex);
    if (straighten && outcome.result == kRecognised) {
        if (outcome.levellingKnown && outcome.levellingAngle != 0) {
            result.turn = rotateTo(StepRotationAngle(angle_, outcome.levellingAngle), settings.sharpen);
            result.turned = result.turn.turned;
        }
        // The frame is proposed on the photo as it now stands.
        const int levelling = outcome.levellingAngle;
        const bool known = outcome.levellingKnown;
        outcome = runRecognition(settings, silentSkip, prompts, hooks, true, result, drawFrame, faceIndex);
        if (result.turned) {
            // The photo was levelled by the first run's angle: that is the tilt the user is told of.
            outcome.levellingKnown = known;
            outcome.levellingAngle = levelling;
        }
    }
    if (outcome.levellingKnown)
        result.levellingText = LevellingText(outcome.levellingAngle);
    if (outcome.result == kRecognitionTempNotSaved && outcome.log == RecognitionLogKind::None) {
        prompts.message(outcome.message);
        return result;
    }

    // The log line goes first, so that a photo the user gives up on at the message is listed all the same.
    result.logLine = RecognitionLogLine(outcome, LogTimestampNow(), photoPath_);
    if (!result.logLine.empty())
        writeLog(settings, result.logLine, prompts);

    switch (outcome.result) {
    case kRecognised:
    case kRecognitionSkippedSilently:
        break;
    case kRecognitionOutOfMemory:
        prompts.message(std::string(kTextOutOfMemory));
        break;
    case kRecognitionCascadeMissing:
        prompts.message(outcome.message);
        prompts.open(outcome.noticePath);
        break;
    default:
        // The loader's or the writer's own words are for whoever runs the program from a terminal.
        if (!outcome.reason.empty())
            prompts.detail("recognition: " + outcome.reason);
        if (!outcome.message.empty())
            prompts.message(outcome.message);
        break;
    }
    return result;
}

std::string PhotoSession::sheetSizeTag() const
{
    return SheetSizeTag(photoSize_->id, paper_->id);
}

std::string PhotoSession::sheetPathFor(
    const Settings& settings, const std::string& photo, const SheetTargets* run) const
{
    if (!plannedPhoto_.empty() && photo == plannedPhoto_)
        return plannedSheet_;
    return OutputPath(settings.outputFolder, photoFolder_, photo, sheetSizeTag(), run, settings.sheetFormat);
}

std::string PhotoSession::sheetPath(const Settings& settings) const
{
    return sheetPathFor(settings, photoPath_, sheetTargets_.get());
}

std::string PhotoSession::logPath(const Settings& settings) const
{
    return RecognitionLogPath(settings.outputFolder, photoFolder_);
}

void PhotoSession::writeLog(const Settings& settings, const std::string& line, Prompts& prompts) const
{
    if (logSink_) {
        logSink_(logPath(settings), line);
        return;
    }
    const std::string path = logPath(settings);
    const LogWriteOutcome written = WriteRecognitionLog(path, line);
    if (written.code == kLogFolderNotCreated)
        prompts.message(LogFolderFailureText(FolderOf(path)));
}

void PhotoSession::startSheetAction(const Settings& settings, Prompts& prompts) const
{
    // The separator marks where this run's recognition failures begin; it never starts a log by itself.
    if (logSink_)
        return;
    const std::string path = logPath(settings);
    const LogWriteOutcome logged = WriteLogSeparator(path, LogTimestampNow());
    if (logged.code == kLogFolderNotCreated)
        prompts.message(LogFolderFailureText(FolderOf(path)));
}

SheetOutcome PhotoSession::makeSheet(
    const Settings& settings, bool unattended, Prompts& prompts, int previewHeight, const Progress& progress)
{
    SheetOutcome result = composeSheet(settings, unattended, prompts, progress);
    if (result.result != SheetOutcome::Composed)
        return result;

    // The preview is reduced on the other core while the sheet is encoded and written; it is only kept when the
    // sheet was saved.
    int previewed = kSheetOk;
    double previewMs = 0;
    std::thread previewing([&] {
        if (previewHeight <= 0) {
            previewed = kSheetNoPhoto; // nobody looks at an unattended photo's preview
            return;
        }
        try {
            const auto started = std::chrono::steady_clock::now();
            previewed = MakePreview(*sheet_, preview_, previewHeight);
            previewMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        } catch (const std::bad_alloc&) {
            previewed = kSheetOutOfMemory;
        }
    });
    const std::string path = sheetPath(settings);
    const SaveSheetOutcome saved = path.empty()
        ? SaveSheetOutcome { kSaveWriteFailed, {}, {} }
        : SaveSheet(path, *sheet_, settings.jpegQuality, layout_.Resolution, *paper_, settings.sheetFormat);
    previewing.join();
    AddStageTime(Stage::Preview, previewMs);
    if (saved.code != kSheetSaved) {
        preview_.Clear();
        if (!saved.reason.empty())
            prompts.detail("sheet " + path + ": " + saved.reason);
        result.failure
            = path.empty() ? std::string(kTextNoFreeSheetName) : SheetSaveFailureText(path, saved.code, saved.error);
        // The panel's short form: the message's first line, which never ends inside a path.
        result.status = result.failure.substr(0, result.failure.find('\n'));
        prompts.message(result.failure);
        result.result = SheetOutcome::SaveFailed;
        return result;
    }
    result.result = SheetOutcome::Saved;
    result.path = path;
    spareSheet_ = std::move(savedSheet_);
    savedSheet_ = sheet_;
    lastSheet_ = { sheet_, paper_ };
    if (sheetTargets_)
        sheetTargets_->claim(path, photoPath_);
    result.status = std::string(kTextSavedStatus) + path;

    // The sheet is on disk already; a preview that cannot be had only leaves the preview empty.
    if (previewed == kSheetOutOfMemory)
        prompts.message(std::string(kTextOutOfMemory));
    result.hasPreview = previewed == kSheetOk;
    if (!result.hasPreview)
        preview_.Clear();
    return result;
}

SheetOutcome PhotoSession::composeSheet(
    const Settings& settings, bool unattended, Prompts& prompts, const Progress& progress)
{
    SheetOutcome result;
    CropRect crop;
    int cut = frameInImage(crop);
    // A frame that lies on the square and needs no stretch is composed straight from the square's pixels; a plain
    // background is painted on a cut of its own.
    const Rect& s = crop.source;
    const bool fromSquare = cut == kCropOk && !settings.plainBackground && s.left >= 0 && s.top >= 0
        && s.right <= square_.Width() && s.bottom <= square_.Height() && s.Width() == crop.width
        && s.Height() == crop.height && crop.width > 0 && crop.height > 0;
    if (fromSquare) {
        cut_.Clear();
    } else if (cut == kCropOk) {
        const StageTimer timer(Stage::Cut);
        cut = CutPhoto(square_, crop, cut_);
    }
    cutSize_ = cut == kCropOk ? Size { crop.width, crop.height } : Size {};
    if (cut == kCropOutOfMemory)
        prompts.message(std::string(kTextOutOfMemory));
    // A frame that gives no cut makes no sheet: none is better than a wrong one.
    if (cut != kCropOk) {
        result.result = SheetOutcome::NoCut;
        return result;
    }

    if (settings.plainBackground) {
        std::string reason;
        const Rgb colour = settings.plainBackgroundPicked ? settings.pickedColour : settings.backgroundColour;
        const int plain = PlainBackground(cut_, programFolder_, colour, &reason);
        if (plain != kPersonMaskOk) {
            if (!reason.empty())
                prompts.detail("plain background " + photoPath_ + ": " + reason);
            const std::string_view why = plain == kPersonMaskNothingToSegment ? kTextPlainBackgroundNoPerson
                : plain == kPersonMaskFailed                                  ? kTextPlainBackgroundMaskFailed
                                                                              : kTextPlainBackgroundNoModel;
            // Nobody is there to read a box in an unattended run: the error log names the photo instead.
            if (unattended)
                writeLog(settings, LogTimestampNow() + std::string(kLogLabelPlainBackground) + photoPath_, prompts);
            else
                prompts.message(std::string(kTextPlainBackgroundFailed) + std::string(why));
            result.result = SheetOutcome::NotDrawn;
            return result;
        }
    }

    if (frameOutsidePhoto()) {
        // Asked once, before anything else; nobody is there in an unattended run, whose log says it instead.
        if (unattended || outsideLogged_)
            writeLog(settings, LogTimestampNow() + std::string(kLogLabelFrameOutside) + photoPath_, prompts);
        else if (prompts.ask(std::string(kTextFrameOutsideQuestion))) {
            result.result = SheetOutcome::Abandoned;
            return result;
        }
    }

    if (NeedsEnlargement(crop.width, crop.height, layout_)) {
        // Nobody is there to answer in an unattended run: such a photo is passed over without a sheet.
        if (unattended || prompts.ask(std::string(kTextEnlargementQuestion))) {
            result.result = SheetOutcome::Abandoned;
            return result;
        }
    }

    SheetReport report;
    // The sheet saved last may be printing: the new one is drawn apart, over a bitmap nothing else holds.
    std::shared_ptr<Bitmap> drawn = sheet_.use_count() == 1 ? sheet_
        : spareSheet_.use_count() == 1                      ? spareSheet_
                                                            : std::make_shared<Bitmap>();
    SheetOptions options = SheetOptionsOf(settings);
    // The window's action has the other core to itself while the cells are reduced (the preview waits for the
    // sheet); a batch's worker keeps to the one core it was given.
    options.threads = threads_;
    const int composed = fromSquare ? ComposeSheetFromRegion(square_, s, layout_, options, *drawn, &report, progress)
                                    : ComposeSheet(cut_, layout_, options, *drawn, &report, progress);
    if (composed == kSheetOutOfMemory)
        prompts.message(std::string(kTextOutOfMemory));
    if (composed != kSheetOk) {
        result.result = SheetOutcome::NotDrawn;
        return result;
    }
    if (drawn == spareSheet_)
        spareSheet_.reset();
    sheet_ = std::move(drawn);
    // A refused reduction (an odd aspect, a size beyond the planes) leaves a stretched, blockier cell.
    if (report.ReductionRefused() && !unattended && prompts.ask(std::string(kTextReductionFailedQuestion))) {
        result.result = SheetOutcome::Abandoned;
        return result;
    }

    result.result = SheetOutcome::Composed;
    return result;
}

} // namespace vellicam
