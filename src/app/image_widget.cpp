#include "image_widget.h"

#include "qt_bitmap.h"

#include <QMouseEvent>
#include <QPainter>

namespace vellicam {

MouseArgs MouseArgsOf(const QMouseEvent& event)
{
    const QPoint p = event.position().toPoint();
    return { event.button(), event.buttons(), event.modifiers(), p.x(), p.y() };
}

ImageWidget::ImageWidget(QWidget* parent)
    : QWidget(parent)
{
}

void ImageWidget::pictureChanged()
{
    if (transparent_ && !picture_.Empty())
        shown_ = ToKeyedQImage(picture_, picture_.Pixel(0, picture_.Height() - 1));
    else
        shown_ = ToQImage(picture_);
    update();
}

void ImageWidget::setTransparent(bool transparent)
{
    if (transparent == transparent_)
        return;
    transparent_ = transparent;
    pictureChanged();
}

void ImageWidget::paintEvent(QPaintEvent*)
{
    if (shown_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, shown_);
}

void ImageWidget::mousePressEvent(QMouseEvent* event)
{
    emit pressed(MouseArgsOf(*event));
}

void ImageWidget::mouseMoveEvent(QMouseEvent* event)
{
    emit moved(MouseArgsOf(*event));
}

void ImageWidget::mouseReleaseEvent(QMouseEvent* event)
{
    emit released(MouseArgsOf(*event));
}

} // namespace vellicam
