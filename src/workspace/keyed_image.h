// An image control of the photo view: shows a 24-bit picture at its top-left corner, optionally with the colour
// of the picture's bottom-left pixel see-through, and hands its mouse events to the window.
#pragma once

#include "image/bitmap.h"
#include "mouse_args.h"

#include <QImage>
#include <QWidget>

namespace vellicam {

class TImage : public QWidget {
public:
    explicit TImage(QWidget* parent = nullptr);

    // The picture, to be changed in place; call PictureChanged afterwards so the control shows the change.
    [[nodiscard]] Bitmap& Picture() { return picture_; }
    [[nodiscard]] const Bitmap& Picture() const { return picture_; }
    void PictureChanged();

    // With Transparent set, the colour of the picture's bottom-left pixel shows what lies below.
    void SetTransparent(bool transparent);
    [[nodiscard]] bool Transparent() const { return transparent_; }

    // The pixel the control shows at (x, y) of its picture, for tests and the colour swatch.
    [[nodiscard]] const QImage& Shown() const { return shown_; }

    MouseHandler OnMouseDown;
    MouseHandler OnMouseMove;
    MouseHandler OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Bitmap picture_;
    QImage shown_;
    bool transparent_ = false;
};

} // namespace vellicam
