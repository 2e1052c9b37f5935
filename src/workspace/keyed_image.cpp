#include "keyed_image.h"

#include "qt_bitmap.h"

#include <QMouseEvent>
#include <QPainter>

namespace vellicam {

MouseArgs MouseArgsOf(const QMouseEvent& event)
{
    const QPoint p = event.position().toPoint();
    return { event.button(), event.buttons(), event.modifiers(), p.x(), p.y() };
}

TImage::TImage(QWidget* parent)
    : QWidget(parent)
{
}

void TImage::PictureChanged()
{
    if (transparent_ && !picture_.Empty())
        shown_ = ToKeyedQImage(picture_, picture_.Pixel(0, picture_.Height() - 1));
    else
        shown_ = ToQImage(picture_);
    update();
}

void TImage::SetTransparent(bool transparent)
{
    if (transparent == transparent_)
        return;
    transparent_ = transparent;
    PictureChanged();
}

void TImage::paintEvent(QPaintEvent*)
{
    if (shown_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, shown_);
}

void TImage::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(this, MouseArgsOf(*event));
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(this, MouseArgsOf(*event));
}

void TImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(this, MouseArgsOf(*event));
}

} // namespace vellicam
