// The crop frame proposed from a detected face: head top and chin estimates, the background correction, the
// sheet cell's margins, the plausibility test, and the frame's place on the view with its result outlines.
#pragma once

#include "geometry/view_geometry.h"
#include "image/bitmap.h"
#include "sheet/sheet_layout.h"

#include <functional>
#include <string>
#include <vector>

namespace vellicam {

// A detection in pixels of the square working image; right and bottom as the detector gives them.
struct FaceRect {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    friend bool operator==(const FaceRect&, const FaceRect&) = default;
};

// An accepted chin: the strip's top row and the chin detection in strip pixels (x measured from the face's x1).
struct ChinDetection {
    int chinStripTop = 0;
    int cx1 = 0, cy1 = 0, cx2 = 0, cy2 = 0;
};

inline constexpr int kHeadMarginPercent = 30; // head top estimated this share of the face height above it
inline constexpr int kChinMarginPercent = 7; // chin estimated this share below it

struct ProposalSettings {
    // The first sheet cell's image height and width and its rows above the head top and below the chin.
    int imageWidth = 378;
    int imageHeight = 496;
    int headTopMargin = 59;
    int chinMargin = 118;
    int headMarginPercent = kHeadMarginPercent;
    int chinMarginPercent = kChinMarginPercent;
    bool correctHeadTop = true; // move the head top up to where the background begins
};
// The settings from the first cell of a layout.
[[nodiscard]] ProposalSettings ProposalSettingsOf(const SheetLayout& layout, bool correctHeadTop);

// The columns a..b beside and above the face whose rows the head-top scan reads: half a face width either side,
// a at least 0, b lowered to imageSide − 1 only when it exceeds imageSide.
struct ScanStrip {
    int a = 0, b = 0;
};
[[nodiscard]] ScanStrip HeadScanStrip(const FaceRect& face, int imageSide);

// Runs the head-top scan over the strip a..b from row y0 upwards and returns the row (see background_scan.h).
using HeadTopScanner = std::function<int(int a, int b, int y0)>;

// The head top a face's landmarks suggest: the eye line raised by 1.25 eye-to-chin heights (the median over the
// development photos: the head's top lies a little further above the eyes than the chin below them, more with
// much hair or a lowered head), and that height, which bounds how far the background scan may move it.
struct LandmarkHeadTop {
    int top = 0;
    int eyeToChin = 0;
    int profileTop = -1; // where the colours above the face change (head_profile.h), or -1
    // The top of the person's region over the face (person_mask.h), or -1: when set it is the head top, and the
    // background scan and the profile only leave their marks.
    int maskTop = -1;
    // The face's own centre column from the landmarks, which the frame is centred on instead of the box's centre.
    bool hasCentre = false;
    int centreX = 0;
};
// Refuses nothing; a chin above the eyes gives a zero height (and the eye row as the head top).
[[nodiscard]] LandmarkHeadTop HeadTopFromLandmarks(int eyeRow, int chinRow);

struct FrameProposal {
    ScanStrip strip;
    // head top and chin estimated from the face (the head top from the landmarks when given)
    int estimatedTop = 0, estimatedChin = 0;
    int bgTop = 0; // where the background begins above the face
    int correctedChin = 0; // the chin after the head-top correction
    int headTop = 0; // the head top the frame is built on: estimatedTop, or bgTop when the correction took it
    int chinLine = 0; // the chin used: correctedChin, or the accepted chin's centre
    int frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0; // the frame
    int w = 0, h = 0;
};

enum FrameProposalResult : int {
    kProposed = 0,
    kProposalBadCell = -1, // cell image height ≤ 0, or no rows left for the face between the margins
    kProposalOutOfRange = -2, // a detection so far out that the frame does not fit an int
    kProposalNoScanner = -3,
};

// Proposes the frame for `face` (and `chin` when one was accepted, else nullptr) on the square working image of
// side imageSide. The scanner runs once, whether or not the correction is on. With `landmarkTop`, the frame is
// centred on its centre column when it has one, and the head top is its mask top when it has one; else it is
// estimated from the landmarks, and the correction takes the scan's row only when it lies above that estimate by
// at most half the eye-to-chin height and below row 0 (a scan that ran through a busy background to the top, or
// stopped on dark hair before a dark background, is not believed); else the profile's row when there is one. Refuses
// with the codes above, leaving `proposal` untouched.
[[nodiscard]] int ProposeFrame(const FaceRect& face, const ChinDetection* chin, int imageSide,
    const ProposalSettings& settings, const HeadTopScanner& scanner, FrameProposal& proposal,
    const LandmarkHeadTop* landmarkTop = nullptr);

// True when the frame is larger than `percent` % (90 unless said) of the image in width or in height.
[[nodiscard]] bool Oversize(int w, int h, int imageWidth, int imageHeight, int percent = 90);

// Oversize for a face the landmarks confirmed: the 90 % limit guards against false faces, which the face detector
// has already ruled out, so only a head (head top to chin line) taller than the image itself counts. A close-up
// whose head fills the photo still gets its frame, though the frame's margins reach beyond the photo: the window
// cuts the frame to the photo, and the size's checks say the face is too large.
[[nodiscard]] bool ConfirmedOversize(const FrameProposal& proposal, int imageHeight);

// A detection is plausible when the frame it gives without any chin is not oversize (with `landmarkTop`, by
// ConfirmedOversize), whatever the oversize setting says. A detection for which no frame can be proposed is
// not plausible.
[[nodiscard]] bool IsPlausibleFace(const FaceRect& face, int imageWidth, int imageHeight, int imageSide,
    const ProposalSettings& settings, const HeadTopScanner& scanner, const LandmarkHeadTop* landmarkTop = nullptr);

// How image pixels map onto the view image: scale viewSide / imageSide, the panel's scroll positions and the
// view image's size.
struct ViewMapping {
    int viewSide = 0;
    int imageSide = 0;
    int scrollX = 0, scrollY = 0;
    int viewWidth = 0, viewHeight = 0;
};

// An image point on the view: x × viewSide / imageSide + 1 − scrollX (likewise y), then a negative value becomes
// 0 and one beyond the view's width or height becomes that − 1 (0 if negative). For a place on the view image's
// own picture give the scroll positions as 0. Gives (0, 0) when imageSide is not positive.
struct ViewPoint {
    int x = 0, y = 0;
    friend bool operator==(const ViewPoint&, const ViewPoint&) = default;
};
[[nodiscard]] ViewPoint ImageToView(int x, int y, const ViewMapping& view);

// One result outline on the frame's picture, in the picture's coordinates, right and bottom exclusive as
// DrawRectOutline takes them.
struct ResultOutline {
    Rect rect;
    Rgb colour;
};

struct ProposedFramePlacement {
    ControlBounds beforeFit; // the frame as first computed, before it was fitted into the view
    ControlBounds frame; // the frame to show
    int vcx = 0, vcy = 0; // the frame's centre on the view (content position)
    std::vector<ResultOutline> outlines; // face, estimate, corrected; then chin and chin-corrected with a chin
};

enum ProposedFramePlacementResult : int {
    kPlaced = 0,
    kPlacementBadScale = -1, // imageSide ≤ 0
    kPlacementBadAspect = -2, // an aspect term ≤ 0
    kPlacementOutOfRange = -3, // a proposal so far out that the frame does not fit an int
};

// Places the proposal on the view: its height + 1 (at least the minimum height + 1), centred on the proposal's
// centre + 1, the width from the aspect (at least the minimum width + 1); then fitted into the view image, a frame
// taller or wider than the view being cut to it and re-centred. The outlines are the face, the estimate, the
// corrected estimate and, with a chin, the chin and the chin-corrected frame. Refuses with the codes above.
[[nodiscard]] int PlaceProposedFrame(const FrameProposal& proposal, const FaceRect& face, const ChinDetection* chin,
    const FrameLimits& limits, const ViewMapping& view, ProposedFramePlacement& placement);

// The status text of a placed proposal: "(%d,%d)-(%d,%d)" with the frame's left, top, right and bottom.
[[nodiscard]] std::string ProposalStatusText(const ControlBounds& frame);

} // namespace vellicam
