// The resize-grip control: attaches to a widget on the same parent and lets the user move it by dragging it (or
// the ring just around it) and resize it by its corner grips, keeping the aspect it had when attached, its size
// within limits and its place within a bounding area. The geometry of each step comes from resize_grips.h.
#pragma once

#include "geometry/resize_grips.h"
#include "mouse_args.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <array>

namespace vellicam {

// One of the eight grip squares: black with a one-pixel white border.
class ResizeGrip : public QWidget {
    Q_OBJECT
public:
    ResizeGrip(int index, QWidget* parent = nullptr);
    [[nodiscard]] int index() const { return index_; }

signals:
    void pressed(QWidget* grip, const vellicam::MouseArgs& args);
    void moved(QWidget* grip, const vellicam::MouseArgs& args);
    void released(QWidget* grip, const vellicam::MouseArgs& args);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int index_;
};

class ResizeControl : public QWidget {
    Q_OBJECT
public:
    explicit ResizeControl(QWidget* parent = nullptr);
    ~ResizeControl() override;

    // Attaches to `control` (taking its parent), or detaches with nullptr. A control without a parent detaches
    // too.
    void setControl(QWidget* control);
    [[nodiscard]] QWidget* control() const { return control_; }

    void setLimits(
        int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth, int boundHeight, bool keepAspect);
    void setShowHint(bool show) { showHint_ = show; }
    [[nodiscard]] bool showsHint() const { return showHint_; }

    void showGrips();
    void hideGrips();
    void moveGrips();

    // The controlled widget's own mouse events, handled as if this control had received them, so that dragging
    // the controlled widget moves it.
    void forwardPress(const MouseArgs& args) { handlePress(this, args); }
    void forwardMove(const MouseArgs& args) { handleMove(this, args); }
    void forwardRelease(const MouseArgs& args) { handleRelease(this, args); }

    [[nodiscard]] const ResizeControlState& state() const { return state_; }
    [[nodiscard]] bool isDragging() const { return dragging_; }
    [[nodiscard]] ResizeGrip* grip(int index) const { return grips_[static_cast<std::size_t>(index)]; }
    [[nodiscard]] QString hintText() const { return hintText_; }

signals:
    // Emitted before the control's own handling of each event.
    void pressed(const vellicam::MouseArgs& args);
    void moved(const vellicam::MouseArgs& args);
    void released(const vellicam::MouseArgs& args);
    // After every step that changed the controlled widget's geometry, so the owner can redraw it at the size it
    // now has.
    void controlChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void handlePress(QWidget* grabbed, const MouseArgs& args);
    void handleMove(QWidget* grabbed, const MouseArgs& args);
    void handleRelease(QWidget* grabbed, const MouseArgs& args);
    // One geometry step of a drag; the grabbed widget picks the grip (the control itself counts as kGripWholeControl).
    void step(QWidget* grabbed, int x, int y);
    [[nodiscard]] int tagOf(const QWidget* grabbed) const;

    QWidget* control_ = nullptr;
    bool dragging_ = false;
    bool inHandler_ = true;
    bool showHint_ = false;
    QLabel* hintWindow_ = nullptr;
    QString hintText_;
    // Grips sit on the parent beside this control, so the parent may delete them first.
    std::array<QPointer<ResizeGrip>, kGripCount> grips_ {};
    ResizeControlState state_;
};

} // namespace vellicam
