// The resize-grip control: attaches to a control on the same parent and lets the user move it by dragging it (or
// the ring just around it) and resize it by its corner grips, keeping the aspect it had when attached, its size
// within limits and its place within a bounding area. The geometry of each step comes from resize_grips.h.
#pragma once

#include "mouse_args.h"
#include "geometry/resize_grips.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <array>

namespace vellicam {

// One of the eight grip squares: black with a one-pixel white border.
class TResizeGrip : public QWidget {
public:
    TResizeGrip(int tag, QWidget* parent = nullptr);
    [[nodiscard]] int Tag() const { return tag_; }

    MouseHandler OnMouseDown;
    MouseHandler OnMouseMove;
    MouseHandler OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int tag_;
};

class TResizeControl : public QWidget {
public:
    explicit TResizeControl(QWidget* parent = nullptr);
    ~TResizeControl() override;

    // Attaches to `control` (same parent as it is given), or detaches with nullptr. A control without a parent
    // detaches too.
    void SetControl(QWidget* control);
    [[nodiscard]] QWidget* Control() const { return control_; }
    // A new parent always detaches.
    void SetParent(QWidget* parent);

    void SetXYSize(QObject* sender, int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth,
        int boundHeight, bool keepAspect);
    void SetBackColor(const QColor& colour) { colour_ = colour; }
    [[nodiscard]] QColor Color() const { return colour_; }
    void SetShowHint(bool show) { showHint_ = show; }
    [[nodiscard]] bool ShowHint() const { return showHint_; }

    void ShowGrips();
    void HideGrips();
    void MoveGrips();
    void Hide();

    // Entry points for the controlled control's own mouse events, given with this control as Sender, so that
    // dragging the controlled control moves it.
    void PtMouseDown(QWidget* sender, const MouseArgs& args) { DoMouseDown(sender, args); }
    void PtMouseMove(QWidget* sender, const MouseArgs& args) { DoMouseMove(sender, args); }
    void PtMouseUp(QWidget* sender, const MouseArgs& args) { DoMouseUp(sender, args); }

    void DoMouseDown(QWidget* sender, const MouseArgs& args);
    void DoMouseMove(QWidget* sender, const MouseArgs& args);
    void DoMouseUp(QWidget* sender, const MouseArgs& args);
    // One geometry step of a drag; Sender's tag picks the grip (the control itself is 8).
    void Move(QWidget* sender, int x, int y);

    [[nodiscard]] const ResizeControlState& State() const { return state_; }
    [[nodiscard]] bool Dragging() const { return dragging_; }
    [[nodiscard]] TResizeGrip* Grip(int index) const { return grips_[static_cast<std::size_t>(index)]; }
    [[nodiscard]] QString HintText() const { return hintText_; }

    // Called before the control's own handling of each event.
    MouseHandler OnMouseDown;
    MouseHandler OnMouseMove;
    MouseHandler OnMouseUp;
    // Called after every step that changed the controlled control's geometry, so the owner can redraw it at
    // the size it now has.
    std::function<void()> OnMoved;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] int TagOf(const QWidget* sender) const;

    QWidget* control_ = nullptr;
    QColor colour_;
    bool dragging_ = false;
    bool inHandler_ = true;
    bool showHint_ = false;
    QLabel* hintWindow_ = nullptr;
    QString hintText_;
    // Grips sit on the parent beside this control, so the parent may delete them first.
    std::array<QPointer<TResizeGrip>, kGripCount> grips_ {};
    ResizeControlState state_;
};

} // namespace vellicam
