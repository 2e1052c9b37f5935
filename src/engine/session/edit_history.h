// What the user did to a photo's frame and turn, to be taken back and done again: each entry is the frame and angle
// as they were before a change.
#pragma once

#include "sheet/sheet_compose.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vellicam {

// The frame (in the working square's pixels, as the sheet cuts it) and the turn of a photo.
struct FrameAndTurn {
    int angle = 0; // tenths of a degree
    bool hasFrame = false;
    CropRect frame;
    friend bool operator==(const FrameAndTurn&, const FrameAndTurn&) = default;
};

class EditHistory {
public:
    // The most changes kept; the oldest go first.
    static constexpr std::size_t kMaxEntries = 100;

    // Remembers `before`, the state a change is about to leave; what was undone can no longer be redone. A state
    // equal to the last one remembered is kept once.
    void remember(const FrameAndTurn& before);
    // The state to go back to from `now` (which becomes redoable), passing over states equal to `now`: the
    // changes that changed nothing; nothing when there is none.
    [[nodiscard]] std::optional<FrameAndTurn> undo(const FrameAndTurn& now);
    // The state undone last, from `now` (which becomes undoable again); nothing when there is none.
    [[nodiscard]] std::optional<FrameAndTurn> redo(const FrameAndTurn& now);
    [[nodiscard]] bool canUndo(const FrameAndTurn& now) const;
    [[nodiscard]] bool canRedo() const { return !redo_.empty(); }
    void clear();

private:
    std::vector<FrameAndTurn> undo_;
    std::vector<FrameAndTurn> redo_;
};

} // namespace vellicam
