// The crop frame on the photo view: its outline, its attachment to the resize grips, its placement after a photo
// is shown, and the head line that draws a frame anew and may propose a turn.
#include "tform1.h"

#include "geometry/head_line.h"
#include "line_draw.h"
#include "resample/rotate.h"
#include "sheet/sheet_compose.h"
#include "geometry/view_geometry.h"

namespace vellicam {

namespace {

const QString kHeadLineGuide = QStringLiteral("頭頂部と顎をドラッグして結びます");

} // namespace

FrameLimits TForm1::Limits() const
{
    return { FrameMinWidth, FrameMinHeight, FrameMaxWidth, FrameMaxHeight, FrameAspectWidth, FrameAspectHeight };
}

void TForm1::DrawFrameOutline(int shortenBottom)
{
    const int w = Image3->width();
    const int h = Image3->height();
    Bitmap& picture = Image3->Picture();
    if (w < 1 || h < 1 || !picture.Resize(w, h)) {
        if (w >= 1 && h >= 1)
            ShowOutOfMemory();
        return;
    }
    Fill(picture, kBlue);
    FrameRect = { 0, 0, w, h };
    DrawRectOutline(picture, { 0, 0, w, h - shortenBottom }, kRed);
    // The bottom-left pixel carries the see-through colour, so the interior and that one corner pixel vanish.
    picture.SetPixel(0, h - 1, kBlue);
    Image3->SetTransparent(true);
    Image3->PictureChanged();
}

void TForm1::AttachFrame()
{
    const ViewFrameLimits view = FrameLimitsInView(Limits(), ViewSide, ImageSide);
    ResizeFrame->SetXYSize(
        this, view.maxWidth, view.maxHeight, view.minWidth, view.minHeight, Image1->width(), Image1->height(), true);
    ResizeFrame->SetControl(Image3);
    FitScrollContent();
}

void TForm1::PlaceFrame(bool recentre)
{
    Image1->show();
    ResizeFrame->SetControl(nullptr);
    Image3->show();
    BitBtn3->setEnabled(true);

    int w = Image3->width();
    int h = Image3->height();
    if (recentre) {
        const ControlBounds frame
            = CentredMinimumFrame(Limits(), ViewSide, ImageSide, Image1->width(), Image1->height());
        Image3->setGeometry(frame.left, frame.top, frame.width, frame.height);
        w = frame.width;
        h = frame.height;
    } else if (PreviousZoomPercent > 0) {
        w = w * ZoomPercent / PreviousZoomPercent;
        h = h * ZoomPercent / PreviousZoomPercent;
    }
    if (!Image3->Picture().Resize(std::max(w, 1), std::max(h, 1))) {
        ShowOutOfMemory();
        return;
    }
    Image3->repaint();
    PumpEvents();
    DrawFrameOutline();
    Image3->show();
    AttachFrame();
    ResizeFrame->SetShowHint(false);
    SetToolsEnabled(true);
}

int TForm1::CropRectangle(CropRect& crop) const
{
    // The controls' places are content positions already: no scroll position to add.
    return CropRectFromFrame(
        Image3->x(), Image3->y(), Image3->width(), Image3->height(), 0, 0, SquareBitmap.Width(), Image1->width(), crop);
}

void TForm1::SpeedButton1Click()
{
    if (SpeedButton1->isChecked()) {
        ResizeFrame->SetControl(nullptr);
        Image2->setToolTip(kHeadLineGuide);
        Image2->setGeometry(Image1->geometry());
        Image2->show();
        Image2->raise();
        Image3->hide();
        Image1->setToolTip(QString());
        SetToolsEnabled(false);
        SpeedButton1->setEnabled(true);
        StatusBar1->SetPanel(0, kHeadLineGuide);
    } else {
        SetToolsEnabled(true);
        Fill(Image2->Picture(), kBlue);
        Image2->PictureChanged();
        Image2->hide();
        Image3->show();
        BitBtn3->setEnabled(true);
        ResizeFrame->SetControl(Image3);
    }
}

void TForm1::ClearHeadLine()
{
    Bitmap& overlay = Image2->Picture();
    Image2->SetTransparent(true);
    FillRect(overlay, { 0, 0, Image1->width(), Image1->height() }, kBlue);
}

void TForm1::Image2MouseDown(const MouseArgs& args)
{
    MouseHeld = true;
    if (SpeedButton1->isChecked()) {
        lineCursor_.emplace(Qt::SizeAllCursor);
        HeadTop = QPoint(args.x, args.y);
    }
}

void TForm1::Image2MouseMove(const MouseArgs& args)
{
    if (!SpeedButton1->isChecked())
        return;
    if (!MouseHeld) {
        StatusBar1->SetPanel(1, QString::asprintf("(%d,%d)", args.x, args.y));
        return;
    }
    FrameRect = { HeadTop.x(), HeadTop.y(), args.x, args.y };
    ClearHeadLine();
    Bitmap& overlay = Image2->Picture();
    DrawAnyLine(overlay, HeadTop.x(), HeadTop.y(), args.x, args.y, kRed);
    if (!overlay.Empty())
        overlay.SetPixel(0, overlay.Height() - 1, kBlue);
    Image2->PictureChanged();

    const HeadLineAngle line = EvaluateHeadLine(HeadTop.x(), HeadTop.y(), args.x, args.y);
    if (!line.vertical)
        RotationProposal = line.rotationProposal;
    StatusBar1->SetPanel(2, QString::fromStdString(HeadLineStatusText(line)));
    StatusBar1->SetPanel(1, QString::fromStdString(LinePointsText(HeadTop.x(), HeadTop.y(), args.x, args.y)));
}

void TForm1::Image2MouseUp(const MouseArgs& args)
{
    MouseHeld = false;
    lineCursor_.reset();
    if (SpeedButton1->isChecked())
        FrameFromLine(args.x, args.y);
    BitBtn3->setEnabled(true);
}

void TForm1::FrameFromLine(int ex, int ey)
{
    MouseHeld = false;
    lineCursor_.reset();
    ClearHeadLine();
    Image2->PictureChanged();

    if (RotationProposal != 0
        && Dialogs.Ask(AppTitle, QString::fromStdString(RotationQuestionText(RotationProposal)))) {
        if (Busy)
            return;
        SetBusy(true);
        ScopeExit done([this] { SetBusy(false); });
        if (!RefuseLargeRotation()) {
            RotationAngle = AngleAfterProposal(RotationAngle, RotationProposal);
            Edit4->setText(QString::fromStdString(RotationAngleText(RotationAngle)));
            ApplyRotation(RotationAngle);
            ReportMemory();
        }
    }

    const ViewFrameLimits view = FrameLimitsInView(Limits(), ViewSide, ImageSide);
    const SheetCell& cell = SheetLayout.Cells[0];
    HeadLineFrameInput in;
    in.sx = HeadTop.x();
    in.sy = HeadTop.y();
    in.ex = ex;
    in.ey = ey;
    in.cellImageHeight = cell.ImageHeight;
    in.headTopMargin = cell.HeadTopMargin;
    in.chinMargin = cell.ChinMargin;
    in.minWidth = view.minWidth;
    in.minHeight = view.minHeight;
    in.aspectWidth = FrameAspectWidth;
    in.aspectHeight = FrameAspectHeight;
    ControlBounds frame;
    if (vellicam::FrameFromLine(in, frame) != kHeadLineFramePlaced) {
        SetToolsEnabled(true);
        return;
    }
    Image3->setGeometry(frame.left, frame.top, frame.width, frame.height);
    if (!Image3->Picture().Resize(frame.width, frame.height)) {
        ShowOutOfMemory();
        SetToolsEnabled(true);
        return;
    }
    DrawFrameOutline();
    Image3->SetTransparent(true);
    Image3->show();
    AttachFrame();
    SetToolsEnabled(true);
    // Leaves head marking without running the button's own handler; the empty overlay stays until the button is
    // pressed and released again.
    SpeedButton1->setChecked(false);
}

void TForm1::Image3MouseDown(const MouseArgs& args)
{
    if (ResizeFrame->Control() == Image3)
        ResizeFrame->PtMouseDown(ResizeFrame, args);
}

void TForm1::Image3MouseMove(const MouseArgs& args)
{
    if (ResizeFrame->Control() == Image3)
        ResizeFrame->PtMouseMove(ResizeFrame, args);
}

void TForm1::Image3MouseUp(const MouseArgs& args)
{
    if (ResizeFrame->Control() == Image3)
        ResizeFrame->PtMouseUp(ResizeFrame, args);
}

void TForm1::ResizeFrameMouseDown(const MouseArgs&)
{
    MouseHeld = true;
}

void TForm1::ResizeFrameMouseMove(const MouseArgs&)
{
    if (MouseHeld)
        DrawFrameOutline();
}

void TForm1::ResizeFrameMouseUp(const MouseArgs&)
{
    MouseHeld = false;
}

} // namespace vellicam
