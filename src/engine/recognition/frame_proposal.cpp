// The crop frame proposed from a detected face.
#include "recognition/frame_proposal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace vellicam {

namespace {

using i64 = std::int64_t;

bool FitsInt(i64 v)
{
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

// ProposeFrame's steps without the chin; the chin only replaces the chin line.
struct Estimate {
    i64 estimatedTop, estimatedChin, T, C;
};

Estimate EstimateHeadAndChin(const FaceRect& face, const ProposalSettings& s, i64 bgTop, const LandmarkHeadTop* lt)
{
    const i64 fh = static_cast<i64>(face.y2) - face.y1;
    Estimate e;
    e.estimatedTop = lt ? lt->top : face.y1 - fh * s.headMarginPercent / 100;
    e.estimatedChin = face.y2 + fh * s.chinMarginPercent / 100;
    e.T = e.estimatedTop;
    e.C = e.estimatedChin;
    // The person's outline is read, not guessed: nothing corrects it.
    if (lt && lt->maskTop >= 0) {
        e.estimatedTop = e.T = lt->maskTop;
        return e;
    }
    const bool believable = !lt || (bgTop > 0 && bgTop >= e.estimatedTop - lt->eyeToChin / 2);
    i64 corrected = e.estimatedTop;
    if (s.correctHeadTop && e.estimatedTop > bgTop && believable)
        corrected = bgTop;
    else if (s.correctHeadTop && lt && !believable && lt->profileTop >= 0)
        corrected = lt->profileTop;
    if (corrected != e.estimatedTop) {
        e.T = corrected;
        const i64 mid = face.y1 + fh / 2;
        // The chin moves down in proportion to the head top's move away from the face centre. A face one
        // row high has its estimate on the centre row; it has no proportion to keep, so its chin stays.
        if (mid - e.estimatedTop != 0)
            e.C = mid + (e.estimatedChin - mid) * (mid - corrected) / (mid - e.estimatedTop);
    }
    return e;
}

} // namespace

ProposalSettings ProposalSettingsOf(const SheetLayout& layout, bool correctHeadTop)
{
    const SheetCell& cell = layout.Cells[0];
    ProposalSettings s;
    s.imageWidth = cell.ImageWidth;
    s.imageHeight = cell.ImageHeight;
    s.headTopMargin = cell.HeadTopMargin;
    s.chinMargin = cell.ChinMargin;
    s.correctHeadTop = correctHeadTop;
    return s;
}

ScanStrip HeadScanStrip(const FaceRect& face, int imageSide)
{
    i64 a = (3 * static_cast<i64>(face.x1) - face.x2) / 2;
    if (a < 0)
        a = 0;
    i64 b = (3 * static_cast<i64>(face.x2) - face.x1) / 2;
    if (b > imageSide)
        b = static_cast<i64>(imageSide) - 1;
    // Beyond the int range only for detections far outside any image; the scan then reads nothing there.
    const auto clampInt = [](i64 v) {
        return static_cast<int>(
            std::max<i64>(std::min<i64>(v, std::numeric_limits<int>::max()), std::numeric_limits<int>::min()));
    };
    return { clampInt(a), clampInt(b) };
}

LandmarkHeadTop HeadTopFromLandmarks(int eyeRow, int chinRow)
{
    const i64 reach = std::max<i64>(0, static_cast<i64>(chinRow) - eyeRow);
    LandmarkHeadTop t;
    t.top = static_cast<int>(eyeRow - (reach * 5 + 2) / 4);
    t.eyeToChin = static_cast<int>(reach);
    return t;
}

int ProposeFrame(const FaceRect& face, const ChinDetection* chin, int imageSide, const ProposalSettings& settings,
    const HeadTopScanner& scanner, FrameProposal& proposal, const LandmarkHeadTop* landmarkTop)
{
    const i64 ih = settings.imageHeight;
    const i64 d = ih - settings.headTopMargin - settings.chinMargin;
    if (ih <= 0 || d <= 0)
        return kProposalBadCell;
    if (!scanner)
        return kProposalNoScanner;

    FrameProposal p;
    p.strip = HeadScanStrip(face, imageSide);
    const i64 bgTop = scanner(p.strip.a, p.strip.b, face.y1);
    const Estimate e = EstimateHeadAndChin(face, settings, bgTop, landmarkTop);
    const i64 c1 = e.C;
    const i64 chinLine
        = chin ? static_cast<i64>(chin->chinStripTop) + chin->cy1 + (static_cast<i64>(chin->cy2) - chin->cy1) / 2 : c1;

    const i64 s = (chinLine - e.T) * ih / d;
    const i64 tf = e.T - settings.headTopMargin * s / ih;
    const i64 bf = chinLine + settings.chinMargin * s / ih;
    const i64 h = bf - tf;
    const i64 w = settings.imageWidth * h / ih;
    const i64 cx = landmarkTop && landmarkTop->hasCentre ? landmarkTop->centreX
                                                         : face.x1 + (static_cast<i64>(face.x2) - face.x1) / 2;
    const i64 l = cx - w / 2, r = cx + w / 2;

    for (const i64 v : { e.estimatedTop, e.estimatedChin, bgTop, e.T, c1, chinLine, l, tf, r, bf, w, h })
        if (!FitsInt(v))
            return kProposalOutOfRange;
    p.estimatedTop = static_cast<int>(e.estimatedTop);
    p.estimatedChin = static_cast<int>(e.estimatedChin);
    p.bgTop = static_cast<int>(bgTop);
    p.correctedChin = static_cast<int>(c1);
    p.headTop = static_cast<int>(e.T);
    p.chinLine = static_cast<int>(chinLine);
    p.frameLeft = static_cast<int>(l);
    p.frameTop = static_cast<int>(tf);
    p.frameRight = static_cast<int>(r);
    p.frameBottom = static_cast<int>(bf);
    p.w = static_cast<int>(w);
    p.h = static_cast<int>(h);
    proposal = p;
    return kProposed;
}

bool Oversize(int w, int h, int imageWidth, int imageHeight, int percent)
{
    return static_cast<i64>(w) * 100 > static_cast<i64>(imageWidth) * percent
        || static_cast<i64>(h) * 100 > static_cast<i64>(imageHeight) * percent;
}

bool IsPlausibleFace(const FaceRect& face, int imageWidth, int imageHeight, int imageSide,
    const ProposalSettings& settings, const HeadTopScanner& scanner, const LandmarkHeadTop* landmarkTop)
{
    FrameProposal p;
    if (ProposeFrame(face, nullptr, imageSide, settings, scanner, p, landmarkTop) != kProposed)
        return false;
    return landmarkTop ? !ConfirmedOversize(p, imageHeight) : !Oversize(p.w, p.h, imageWidth, imageHeight);
}

bool ConfirmedOversize(const FrameProposal& proposal, int imageHeight)
{
    return static_cast<i64>(proposal.chinLine) - proposal.headTop > imageHeight;
}

ViewPoint ImageToView(int x, int y, const ViewMapping& view)
{
    if (view.imageSide <= 0)
        return {};
    const auto place = [&](int v, int scroll, int extent) {
        int p = ScaleToView(v, view.viewSide, view.imageSide) + 1 - scroll;
        if (p < 0)
            p = 0;
        // Only a place beyond the extent is pulled in; one exactly on it stays, as the outlines have always
        // been drawn.
        if (p > extent) {
            p = extent - 1;
            if (p < 0)
                p = 0;
        }
        return p;
    };
    return { place(x, view.scrollX, view.viewWidth), place(y, view.scrollY, view.viewHeight) };
}

int PlaceProposedFrame(const FrameProposal& proposal, const FaceRect& face, const ChinDetection* chin,
    const FrameLimits& limits, const ViewMapping& view, ProposedFramePlacement& placement)
{
    if (view.imageSide <= 0)
        return kPlacementBadScale;
    if (limits.FrameAspectWidth <= 0 || limits.FrameAspectHeight <= 0)
        return kPlacementBadAspect;
    const auto s = [&](i64 v) { return v * view.viewSide / view.imageSide; };
    const i64 aw = limits.FrameAspectWidth, ah = limits.FrameAspectHeight;

    // The + 1s put the frame where the outlines, mapped with ImageToView's + 1, are drawn.
    i64 dh = s(proposal.h) + 1;
    if (dh < s(limits.FrameMinHeight) + 1)
        dh = s(limits.FrameMinHeight) + 1;
    const i64 vcy = s(proposal.frameTop + static_cast<i64>(proposal.h) / 2) + 1;
    i64 top = vcy - dh / 2;
    i64 dw = aw * dh / ah;
    if (dw < s(limits.FrameMinWidth) + 1)
        dw = s(limits.FrameMinWidth) + 1;
    const i64 vcx = s(proposal.frameLeft + (static_cast<i64>(proposal.frameRight) - proposal.frameLeft) / 2) + 1;
    i64 left = vcx - dw / 2;

    ProposedFramePlacement out;
    for (const i64 v : { left - view.scrollX, top - view.scrollY, dw, dh, vcx, vcy })
        if (!FitsInt(v))
            return kPlacementOutOfRange;
    out.vcx = static_cast<int>(vcx);
    out.vcy = static_cast<int>(vcy);
    out.beforeFit = { static_cast<int>(left - view.scrollX), static_cast<int>(top - view.scrollY), static_cast<int>(dw),
        static_cast<int>(dh) };

    // The fit works on content places, against the view image's content size; the scroll positions are taken off
    // only at the end, so a scrolled panel neither pushes the frame off its face nor escapes the fit.
    const i64 vw = view.viewWidth, vh = view.viewHeight;
    if (top + dh > vh) {
        top = vh - dh;
        if (top < 0) {
            top = 0;
            dh = vh;
            dw = aw * dh / ah;
            left = vcx - dw / 2;
        }
    }
    if (left < 0)
        left = 0;
    if (left + dw > vw) {
        left = vw - dw;
        if (left < 0) {
            left = 0;
            dw = vw;
            dh = ah * dw / aw;
            top = vcy - dh / 2;
        }
    }
    for (const i64 v : { left - view.scrollX, top - view.scrollY, dw, dh, vcx, vcy })
        if (!FitsInt(v))
            return kPlacementOutOfRange;
    out.frame = { static_cast<int>(left - view.scrollX), static_cast<int>(top - view.scrollY), static_cast<int>(dw),
        static_cast<int>(dh) };

    // The outlines are drawn on the frame's own picture: image corners mapped onto the view image, then taken
    // relative to the frame's content place.
    ViewMapping content = view;
    content.scrollX = content.scrollY = 0;
    const auto outline = [&](int xa, int ya, int xb, int yb, int grow, Rgb colour) {
        const ViewPoint p = ImageToView(xa, ya, content), q = ImageToView(xb, yb, content);
        const int fl = static_cast<int>(left), ft = static_cast<int>(top);
        out.outlines.push_back({ { p.x - fl - grow, p.y - ft - grow, q.x - fl + grow, q.y - ft + grow }, colour });
    };
    outline(face.x1, face.y1, face.x2, face.y2, 0, { 255, 255, 0 });
    outline(face.x1, proposal.estimatedTop, face.x2, proposal.estimatedChin, -1, { 0, 128, 0 });
    outline(face.x1, proposal.bgTop, face.x2, proposal.correctedChin, 1, { 0, 255, 255 });
    if (chin) {
        outline(face.x1 + chin->cx1, chin->chinStripTop + chin->cy1, face.x1 + chin->cx2, chin->chinStripTop + chin->cy2, 0, { 4, 4, 255 });
        outline(face.x1, proposal.bgTop, face.x2, proposal.chinLine, 2, { 255, 204, 102 });
    }
    placement = std::move(out);
    return kPlaced;
}

std::string ProposalStatusText(const ControlBounds& frame)
{
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "(%d,%d)-(%d,%d)", frame.left, frame.top, frame.left + frame.width,
        frame.top + frame.height);
    return buffer;
}

} // namespace vellicam
