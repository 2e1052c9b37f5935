#include "photo_view.h"

#include "line_draw.h"

#include <QMouseEvent>
#include <QScrollBar>

namespace vellicam {

PhotoView::PhotoView(QWidget* parent)
    : QScrollArea(parent)
{
    setWidgetResizable(false);
    content_ = new QWidget;
    content_->resize(780, 520);
    content_->setMouseTracking(true);
    content_->installEventFilter(this);
    setWidget(content_);

    photo_ = new ImageWidget(content_);
    photo_->setGeometry(0, 0, 780, 520);
    overlay_ = new ImageWidget(content_);
    overlay_->setGeometry(0, 0, 1200, 1200);
    overlay_->setMouseTracking(true);
    overlay_->hide();
    frame_ = new ImageWidget(content_);
    frame_->setCursor(Qt::SizeAllCursor);
    frame_->hide();
    grips_ = new ResizeControl(content_);

    hint_ = new QLabel(viewport());
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setMargin(16);
    hint_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont hintFont = hint_->font();
    hintFont.setPixelSize(16);
    hint_->setFont(hintFont);
    hint_->hide();

    // Dragging the frame itself moves it, while the grips hold it.
    connect(frame_, &ImageWidget::pressed, this, [this](const MouseArgs& a) {
        if (gripsAttached())
            grips_->forwardPress(a);
    });
    connect(frame_, &ImageWidget::moved, this, [this](const MouseArgs& a) {
        if (gripsAttached())
            grips_->forwardMove(a);
    });
    connect(frame_, &ImageWidget::released, this, [this](const MouseArgs& a) {
        if (gripsAttached())
            grips_->forwardRelease(a);
    });
}

void PhotoView::setEmptyHint(const QString& text)
{
    hint_->setText(text);
}

void PhotoView::showEmptyHint(bool on)
{
    hint_->setGeometry(viewport()->rect());
    hint_->raise();
    hint_->setVisible(on);
}

bool PhotoView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize)
        hint_->setGeometry(viewport()->rect());
    return QScrollArea::viewportEvent(event);
}

int PhotoView::scrollX() const
{
    return horizontalScrollBar()->value();
}

int PhotoView::scrollY() const
{
    return verticalScrollBar()->value();
}

void PhotoView::scrollToOrigin()
{
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void PhotoView::fitContent()
{
    QRect shown(0, 0, 1, 1);
    for (const QWidget* w : std::initializer_list<const QWidget*> { photo_, overlay_, frame_, grips_ }) {
        if (w->isVisibleTo(content_))
            shown |= w->geometry();
    }
    content_->resize(std::max(1, shown.right() + 1), std::max(1, shown.bottom() + 1));
}

bool PhotoView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == content_ && event->type() == QEvent::MouseMove) {
        // The view's own coordinates: the content point less the scroll position.
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        emit pointerMoved(p.x() - scrollX(), p.y() - scrollY());
    }
    return QScrollArea::eventFilter(watched, event);
}

ControlBounds PhotoView::frameBounds() const
{
    return { frame_->x(), frame_->y(), frame_->width(), frame_->height() };
}

void PhotoView::setFrameBounds(const ControlBounds& bounds)
{
    frame_->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
}

PhotoView::Outline PhotoView::drawFrameOutline(int shortenBottom)
{
    const int w = frame_->width();
    const int h = frame_->height();
    if (w < 1 || h < 1)
        return Outline::Empty;
    Bitmap& picture = frame_->picture();
    if (!picture.Resize(w, h))
        return Outline::OutOfMemory;
    Fill(picture, kBlue);
    DrawRectOutline(picture, { 0, 0, w, h - shortenBottom }, kRed);
    // The bottom-left pixel carries the see-through colour, so the interior and that one corner pixel vanish.
    picture.SetPixel(0, h - 1, kBlue);
    frame_->setTransparent(true);
    frame_->pictureChanged();
    return Outline::Drawn;
}

void PhotoView::attachGrips(const ViewFrameLimits& limits)
{
    grips_->setLimits(
        limits.maxWidth, limits.maxHeight, limits.minWidth, limits.minHeight, photo_->width(), photo_->height(), true);
    grips_->setControl(frame_);
    fitContent();
}

void PhotoView::detachGrips()
{
    grips_->setControl(nullptr);
}

void PhotoView::showHeadLineOverlay()
{
    overlay_->setGeometry(photo_->geometry());
    Bitmap& picture = overlay_->picture();
    if (picture.Width() != photo_->width() || picture.Height() != photo_->height())
        (void)picture.Resize(photo_->width(), photo_->height());
    clearHeadLine();
    overlay_->pictureChanged();
    overlay_->show();
    overlay_->raise();
}

void PhotoView::clearHeadLine()
{
    overlay_->setTransparent(true);
    FillRect(overlay_->picture(), { 0, 0, photo_->width(), photo_->height() }, kBlue);
}

void PhotoView::drawHeadLine(QPoint top, QPoint end)
{
    clearHeadLine();
    Bitmap& picture = overlay_->picture();
    DrawAnyLine(picture, top.x(), top.y(), end.x(), end.y(), kRed);
    if (!picture.Empty())
        picture.SetPixel(0, picture.Height() - 1, kBlue);
    overlay_->pictureChanged();
}

void PhotoView::hideHeadLineOverlay()
{
    Fill(overlay_->picture(), kBlue);
    overlay_->pictureChanged();
    overlay_->hide();
}

} // namespace vellicam
