// The one rule for what may start now. The window is idle, working on one action, or inside a continuous batch
// run; each user action asks `MayStart` before it begins, and only the run's own ways out are open during a run.
#pragma once

namespace vellicam {

enum class WorkMode {
    Idle,
    Working, // an action runs (opening, turning, recognising, making a sheet) and lets the window repaint
    PickingColour, // the next click on the view picks the background colour
    Continuous, // a batch works through its photos by itself
};

enum class UserAction {
    NewSession, // "新規作成"
    OpenPhoto, // the open dialog, a dropped file or folder
    Recognise,
    MakeSheet,
    PrintSheet, // "印刷"
    Rotate,
    Zoom,
    HeadLine,
    PickColour,
    Skip,
    Abort, // "中断"
    StopContinuous, // unchecking the continuous run
    Resize, // the window's size
};

// True when `action` may start in `mode`.
[[nodiscard]] constexpr bool MayStart(WorkMode mode, UserAction action)
{
    switch (mode) {
    case WorkMode::Idle:
        return action != UserAction::Abort;
    case WorkMode::Working:
        return false;
    case WorkMode::PickingColour:
        // The pick waits for its click; the box that started it may still be unchecked.
        return action == UserAction::PickColour;
    case WorkMode::Continuous:
        return action == UserAction::Abort || action == UserAction::StopContinuous;
    }
    return false;
}

} // namespace vellicam
