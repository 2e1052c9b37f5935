// The resize-grip control and its grips.
#include "resize_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace vellicam {

namespace {

ControlBounds BoundsOf(const QWidget* w)
{
    return { w->x(), w->y(), w->width(), w->height() };
}

void SetBounds(QWidget* w, const ControlBounds& b)
{
    w->setGeometry(b.left, b.top, b.width, b.height);
}

Qt::CursorShape GripCursor(int tag)
{
    switch (tag) {
    case kGripTopLeft:
    case kGripBottomRight:
        return Qt::SizeFDiagCursor;
    case kGripTopRight:
    case kGripBottomLeft:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::SizeAllCursor;
    }
}

// Clears a re-entry flag however the handler ends.
class HandlerGuard {
public:
    explicit HandlerGuard(bool& flag)
        : flag_(flag)
    {
        flag_ = true;
    }
    ~HandlerGuard() { flag_ = false; }
    HandlerGuard(const HandlerGuard&) = delete;
    HandlerGuard& operator=(const HandlerGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

ResizeGrip::ResizeGrip(int index, QWidget* parent)
    : QWidget(parent)
    , index_(index)
{
    setCursor(GripCursor(index));
    resize(kGripSize, kGripSize);
}

void ResizeGrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(Qt::white);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void ResizeGrip::mousePressEvent(QMouseEvent* event)
{
    emit pressed(this, MouseArgsOf(*event));
}

void ResizeGrip::mouseMoveEvent(QMouseEvent* event)
{
    emit moved(this, MouseArgsOf(*event));
}

void ResizeGrip::mouseReleaseEvent(QMouseEvent* event)
{
    emit released(this, MouseArgsOf(*event));
}

ResizeControl::ResizeControl(QWidget* parent)
    : QWidget(parent)
{
    // The own area paints nothing: only its cursor and its mouse events matter.
    setCursor(Qt::SizeAllCursor);
    setGeometry(0, 0, 0, 0);
    QWidget::hide();

    hintWindow_ = new QLabel(this, Qt::ToolTip);
    hintWindow_->setWordWrap(true);
    hintWindow_->setMaximumWidth(100);
    hintWindow_->setAutoFillBackground(true);
    hintWindow_->setBackgroundRole(QPalette::ToolTipBase);
    hintWindow_->setForegroundRole(QPalette::ToolTipText);

    for (int i = 0; i < kGripCount; ++i) {
        auto* grip = new ResizeGrip(i, parent);
        grip->hide();
        connect(grip, &ResizeGrip::pressed, this, &ResizeControl::handlePress);
        connect(grip, &ResizeGrip::moved, this, &ResizeControl::handleMove);
        connect(grip, &ResizeGrip::released, this, &ResizeControl::handleRelease);
        grips_[static_cast<std::size_t>(i)] = grip;
    }
    inHandler_ = false;
}

ResizeControl::~ResizeControl()
{
    // The grips live on the controlled control's parent, not on this control: take them along.
    for (const QPointer<ResizeGrip>& grip : grips_)
        delete grip.data();
}

int ResizeControl::tagOf(const QWidget* grabbed) const
{
    for (const QPointer<ResizeGrip>& grip : grips_) {
        if (grip && grip == grabbed)
            return grip->index();
    }
    return kGripWholeControl;
}

void ResizeControl::setControl(QWidget* control)
{
    control_ = control;
    if (!control || !control->parentWidget()) {
        QWidget::hide();
        hideGrips();
        return;
    }
    if (parentWidget() != control->parentWidget())
        QWidget::setParent(control->parentWidget());
    SetBounds(this, Attach(state_, BoundsOf(control)));
    show();
    raise();
    showGrips();
    // The controlled control lies above the own area, which stays reachable in the ring around it; the grips
    // stay above both.
    control->raise();
    for (const QPointer<ResizeGrip>& grip : grips_) {
        if (grip)
            grip->raise();
    }
}

void ResizeControl::setLimits(
    int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth, int boundHeight, bool keepAspect)
{
    vellicam::SetGripLimits(state_, maxWidth, maxHeight, minWidth, minHeight, boundWidth, boundHeight, keepAspect);
}

void ResizeControl::moveGrips()
{
    const auto places = vellicam::MoveGrips(x(), y(), width(), height());
    for (std::size_t i = 0; i < grips_.size(); ++i) {
        if (grips_[i])
            grips_[i]->move(places[i].left, places[i].top);
    }
}

void ResizeControl::showGrips()
{
    moveGrips();
    for (const QPointer<ResizeGrip>& grip : grips_) {
        if (!grip)
            continue;
        if (grip->parentWidget() != parentWidget())
            grip->setParent(parentWidget());
        grip->show();
    }
}

void ResizeControl::hideGrips()
{
    for (const QPointer<ResizeGrip>& grip : grips_) {
        if (grip)
            grip->hide();
    }
}

void ResizeControl::handlePress(QWidget* grabbed, const MouseArgs& args)
{
    emit pressed(args);
    if (inHandler_)
        return;
    HandlerGuard guard(inHandler_);
    if (args.button != Qt::LeftButton)
        return;
    dragging_ = true;
    state_.grabX = args.x;
    state_.grabY = args.y;
    if (tagOf(grabbed) == kGripWholeControl)
        hideGrips();
    step(grabbed, args.x, args.y);
}

void ResizeControl::handleMove(QWidget* grabbed, const MouseArgs& args)
{
    emit moved(args);
    if (inHandler_ || !dragging_)
        return;
    HandlerGuard guard(inHandler_);
    step(grabbed, args.x, args.y);
}

void ResizeControl::handleRelease(QWidget* grabbed, const MouseArgs& args)
{
    emit released(args);
    if (inHandler_ || !dragging_)
        return;
    HandlerGuard guard(inHandler_);
    step(grabbed, args.x, args.y);
    if (tagOf(grabbed) == kGripWholeControl)
        showGrips();
    hintWindow_->hide();
    dragging_ = false;
}

void ResizeControl::step(QWidget* grabbed, int x, int y)
{
    if (!control_)
        return;
    const int tag = tagOf(grabbed);
    GripMove move;
    if (vellicam::Move(state_, BoundsOf(control_), tag, x, y, move) != kGripMoved)
        return;
    SetBounds(control_, move.control);
    SetBounds(this, move.ownArea);
    if (tag != kGripWholeControl)
        moveGrips();
    hintText_ = QString::fromStdString(ResizeHintText(tag, move, x, y));
    if (showHint_) {
        const QPoint p = grabbed->mapToGlobal(QPoint(x, y));
        hintWindow_->setText(hintText_);
        hintWindow_->adjustSize();
        hintWindow_->move(p.x() + 9, p.y() - 9);
        hintWindow_->show();
    }
    emit controlChanged();
}

void ResizeControl::mousePressEvent(QMouseEvent* event)
{
    handlePress(this, MouseArgsOf(*event));
}

void ResizeControl::mouseMoveEvent(QMouseEvent* event)
{
    handleMove(this, MouseArgsOf(*event));
}

void ResizeControl::mouseReleaseEvent(QMouseEvent* event)
{
    handleRelease(this, MouseArgsOf(*event));
}

} // namespace vellicam
