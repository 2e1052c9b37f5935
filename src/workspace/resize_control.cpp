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
    case 0:
    case 4:
        return Qt::SizeFDiagCursor;
    case 2:
    case 6:
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

TResizeGrip::TResizeGrip(int tag, QWidget* parent)
    : QWidget(parent)
    , tag_(tag)
{
    setCursor(GripCursor(tag));
    resize(kGripSize, kGripSize);
}

void TResizeGrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(Qt::white);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void TResizeGrip::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(this, MouseArgsOf(*event));
}

void TResizeGrip::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(this, MouseArgsOf(*event));
}

void TResizeGrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(this, MouseArgsOf(*event));
}

TResizeControl::TResizeControl(QWidget* parent)
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
        auto* grip = new TResizeGrip(i, parent);
        grip->hide();
        grip->OnMouseDown = [this](QWidget* s, const MouseArgs& a) { DoMouseDown(s, a); };
        grip->OnMouseMove = [this](QWidget* s, const MouseArgs& a) { DoMouseMove(s, a); };
        grip->OnMouseUp = [this](QWidget* s, const MouseArgs& a) { DoMouseUp(s, a); };
        grips_[static_cast<std::size_t>(i)] = grip;
    }
    inHandler_ = false;
}

TResizeControl::~TResizeControl()
{
    // The grips live on the controlled control's parent, not on this control: take them along.
    for (const QPointer<TResizeGrip>& grip : grips_)
        delete grip.data();
}

int TResizeControl::TagOf(const QWidget* sender) const
{
    for (const QPointer<TResizeGrip>& grip : grips_) {
        if (grip && grip == sender)
            return grip->Tag();
    }
    return kControlTag;
}

void TResizeControl::SetControl(QWidget* control)
{
    control_ = control;
    if (!control || !control->parentWidget()) {
        QWidget::hide();
        HideGrips();
        return;
    }
    if (parentWidget() != control->parentWidget())
        QWidget::setParent(control->parentWidget());
    SetBounds(this, Attach(state_, BoundsOf(control)));
    show();
    raise();
    ShowGrips();
    // The controlled control lies above the own area, which stays reachable in the ring around it; the grips
    // stay above both.
    control->raise();
    for (const QPointer<TResizeGrip>& grip : grips_) {
        if (grip)
            grip->raise();
    }
}

void TResizeControl::SetParent(QWidget* parent)
{
    QWidget::setParent(parent);
    if (parent)
        SetControl(nullptr);
}

void TResizeControl::SetXYSize(QObject*, int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth,
    int boundHeight, bool keepAspect)
{
    vellicam::SetXYSize(state_, maxWidth, maxHeight, minWidth, minHeight, boundWidth, boundHeight, keepAspect);
}

void TResizeControl::MoveGrips()
{
    const auto places = vellicam::MoveGrips(x(), y(), width(), height());
    for (std::size_t i = 0; i < grips_.size(); ++i) {
        if (grips_[i])
            grips_[i]->move(places[i].left, places[i].top);
    }
}

void TResizeControl::ShowGrips()
{
    MoveGrips();
    for (const QPointer<TResizeGrip>& grip : grips_) {
        if (!grip)
            continue;
        if (grip->parentWidget() != parentWidget())
            grip->setParent(parentWidget());
        grip->show();
    }
}

void TResizeControl::HideGrips()
{
    for (const QPointer<TResizeGrip>& grip : grips_) {
        if (grip)
            grip->hide();
    }
}

void TResizeControl::Hide()
{
    HideGrips();
    QWidget::hide();
}

void TResizeControl::DoMouseDown(QWidget* sender, const MouseArgs& args)
{
    if (OnMouseDown)
        OnMouseDown(sender, args);
    if (inHandler_)
        return;
    HandlerGuard guard(inHandler_);
    if (args.button != Qt::LeftButton)
        return;
    dragging_ = true;
    state_.DownX = args.x;
    state_.DownY = args.y;
    if (TagOf(sender) == kControlTag)
        HideGrips();
    Move(sender, args.x, args.y);
}

void TResizeControl::DoMouseMove(QWidget* sender, const MouseArgs& args)
{
    if (OnMouseMove)
        OnMouseMove(sender, args);
    if (inHandler_ || !dragging_)
        return;
    HandlerGuard guard(inHandler_);
    Move(sender, args.x, args.y);
}

void TResizeControl::DoMouseUp(QWidget* sender, const MouseArgs& args)
{
    if (OnMouseUp)
        OnMouseUp(sender, args);
    if (inHandler_ || !dragging_)
        return;
    HandlerGuard guard(inHandler_);
    Move(sender, args.x, args.y);
    if (TagOf(sender) == kControlTag)
        ShowGrips();
    hintWindow_->hide();
    dragging_ = false;
}

void TResizeControl::Move(QWidget* sender, int x, int y)
{
    if (!control_)
        return;
    const int tag = TagOf(sender);
    GripMove move;
    if (vellicam::Move(state_, BoundsOf(control_), tag, x, y, move) != kGripMoved)
        return;
    SetBounds(control_, move.control);
    SetBounds(this, move.ownArea);
    if (tag != kControlTag)
        MoveGrips();
    hintText_ = QString::fromStdString(ResizeHintText(tag, move, x, y));
    if (showHint_) {
        const QPoint p = sender->mapToGlobal(QPoint(x, y));
        hintWindow_->setText(hintText_);
        hintWindow_->adjustSize();
        hintWindow_->move(p.x() + 9, p.y() - 9);
        hintWindow_->show();
    }
    if (OnMoved)
        OnMoved();
}

void TResizeControl::mousePressEvent(QMouseEvent* event)
{
    DoMouseDown(this, MouseArgsOf(*event));
}

void TResizeControl::mouseMoveEvent(QMouseEvent* event)
{
    DoMouseMove(this, MouseArgsOf(*event));
}

void TResizeControl::mouseReleaseEvent(QMouseEvent* event)
{
    DoMouseUp(this, MouseArgsOf(*event));
}

} // namespace vellicam
