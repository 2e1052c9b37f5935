#include "session/edit_history.h"

#include <algorithm>

namespace vellicam {

void EditHistory::remember(const FrameAndTurn& before)
{
    redo_.clear();
    if (!undo_.empty() && undo_.back() == before)
        return;
    if (undo_.size() == kMaxEntries)
        undo_.erase(undo_.begin());
    undo_.push_back(before);
}

std::optional<FrameAndTurn> EditHistory::undo(const FrameAndTurn& now)
{
    while (!undo_.empty() && undo_.back() == now)
        undo_.pop_back();
    if (undo_.empty())
        return std::nullopt;
    const FrameAndTurn back = undo_.back();
    undo_.pop_back();
    redo_.push_back(now);
    return back;
}

std::optional<FrameAndTurn> EditHistory::redo(const FrameAndTurn& now)
{
    if (redo_.empty())
        return std::nullopt;
    const FrameAndTurn again = redo_.back();
    redo_.pop_back();
    undo_.push_back(now);
    return again;
}

bool EditHistory::canUndo(const FrameAndTurn& now) const
{
    return std::any_of(undo_.begin(), undo_.end(), [&now](const FrameAndTurn& state) { return !(state == now); });
}

void EditHistory::clear()
{
    undo_.clear();
    redo_.clear();
}

} // namespace vellicam
