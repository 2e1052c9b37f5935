// An image widget of the photo view: shows a 24-bit picture at its top-left corner, optionally with the colour
// of the picture's bottom-left pixel see-through, and signals its mouse events.
#pragma once

#include "image/bitmap.h"
#include "mouse_args.h"

#include <QImage>
#include <QWidget>

namespace vellicam {

class ImageWidget : public QWidget {
    Q_OBJECT
public:
    explicit ImageWidget(QWidget* parent = nullptr);

    // The picture, to be changed in place; call pictureChanged afterwards so the widget shows the change.
    [[nodiscard]] Bitmap& picture() { return picture_; }
    [[nodiscard]] const Bitmap& picture() const { return picture_; }
    void pictureChanged();

    // With transparency on, the colour of the picture's bottom-left pixel shows what lies below.
    void setTransparent(bool transparent);
    [[nodiscard]] bool isTransparent() const { return transparent_; }

    // What the widget paints, for tests and the colour swatch.
    [[nodiscard]] const QImage& shownImage() const { return shown_; }

signals:
    void pressed(const vellicam::MouseArgs& args);
    void moved(const vellicam::MouseArgs& args);
    void released(const vellicam::MouseArgs& args);

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
