// The main window's photo view: a scroll box holding the photo, the crop frame with its resize grips (the crop
// tool) and the overlay on which the head line is drawn (the head-line tool). It paints what the window tells it
// and signals the mouse; what a press or a drag means is the window's business.
#pragma once

#include "geometry/resize_grips.h"
#include "geometry/view_geometry.h"
#include "image/bitmap.h"
#include "image_widget.h"
#include "resize_control.h"

#include <QLabel>
#include <QScrollArea>

namespace vellicam {

class PhotoView : public QScrollArea {
    Q_OBJECT
public:
    explicit PhotoView(QWidget* parent = nullptr);

    [[nodiscard]] ImageWidget* photoImage() const { return photo_; }
    [[nodiscard]] ImageWidget* headLineOverlay() const { return overlay_; }
    [[nodiscard]] ImageWidget* frameImage() const { return frame_; }
    [[nodiscard]] ResizeControl* frameGrips() const { return grips_; }
    [[nodiscard]] QWidget* content() const { return content_; }

    // The text centred in the view while no photo is shown; it lets clicks and drops through to what is under it.
    void setEmptyHint(const QString& text);
    void showEmptyHint(bool on);

    [[nodiscard]] int scrollX() const;
    [[nodiscard]] int scrollY() const;
    void scrollToOrigin();
    // Puts the scroll range around what is shown, from the content's origin on.
    void fitContent();

    // --- The crop tool ---
    [[nodiscard]] ControlBounds frameBounds() const;
    void setFrameBounds(const ControlBounds& bounds);
    enum class Outline { Drawn, Empty, OutOfMemory };
    // Gives the frame a picture of its own size: see-through blue with a red outline, the outline `shortenBottom`
    // rows short of the bottom (a zoom change draws it one row short).
    Outline drawFrameOutline(int shortenBottom = 0);
    // The grips take the frame within `limits`, bounded by the photo.
    void attachGrips(const ViewFrameLimits& limits);
    void detachGrips();
    [[nodiscard]] bool gripsAttached() const { return grips_->control() == frame_; }

    // --- The head-line tool ---
    // Shows the overlay over the photo, empty and see-through, ready for a line.
    void showHeadLineOverlay();
    // Erases the line from the overlay, leaving it see-through (the caller repaints).
    void clearHeadLine();
    // Draws the line from `top` to `end` (end excluded) on an empty overlay and repaints it.
    void drawHeadLine(QPoint top, QPoint end);
    // Hides the overlay and empties it.
    void hideHeadLineOverlay();

signals:
    // The pointer moved over the view, in the view's own coordinates.
    void pointerMoved(int x, int y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QWidget* content_ = nullptr; // what the scroll box scrolls; the photo, overlay, frame and grips lie on it
    ImageWidget* photo_ = nullptr;
    ImageWidget* overlay_ = nullptr;
    ImageWidget* frame_ = nullptr;
    ResizeControl* grips_ = nullptr;
    QLabel* hint_ = nullptr; // on the viewport, over the scrolled content
};

} // namespace vellicam
