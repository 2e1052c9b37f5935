// Where a photo's time goes: the stages of its way from file to sheet, timed on the thread that works them.
#pragma once

#include <array>
#include <cstddef>

namespace vellicam {

// The stages, in the order a photo passes them.
enum class Stage {
    Decode, // reading the file into a bitmap
    Square, // the working square around the photo, and a turn of it
    Recognition, // the detector's image, the faces, the head top, the chin and the person mask
    Checks, // the framed photo against its size's rules
    Cut, // the frame's pixels out of the square
    Reduce, // the cut reduced to the cells
    Sharpen, // the cells sharpened
    Compose, // the rest of drawing the sheet: white, marks, cells placed
    Encode, // the sheet as JPEG (or PDF) bytes
    Sync, // the bytes written, made durable and renamed into place
    Preview, // the sheet reduced for the preview window (on the other core)
    Count
};
inline constexpr std::size_t kStageCount = static_cast<std::size_t>(Stage::Count);

// The stage's name as the benchmarks print it.
[[nodiscard]] const char* StageName(Stage stage);

// Milliseconds per stage.
struct StageTimes {
    std::array<double, kStageCount> ms {};
    [[nodiscard]] double& operator[](Stage s) { return ms[static_cast<std::size_t>(s)]; }
    [[nodiscard]] double operator[](Stage s) const { return ms[static_cast<std::size_t>(s)]; }
    StageTimes& operator+=(const StageTimes& other);
};

// Collects the stages this thread times into `times` while it lives (recordings nest: the innermost collects).
class StageRecording {
public:
    explicit StageRecording(StageTimes& times);
    ~StageRecording();
    StageRecording(const StageRecording&) = delete;
    StageRecording& operator=(const StageRecording&) = delete;

private:
    StageTimes* previous_;
};

// Counts the time until it ends toward `stage` in this thread's recording; without one it costs a test of a
// pointer. Time spent in a stage timed inside it counts toward the inner stage only.
class StageTimer {
public:
    explicit StageTimer(Stage stage);
    ~StageTimer();
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

private:
    Stage stage_;
    StageTimes* times_;
    StageTimer* outer_ = nullptr;
    double start_ = 0; // milliseconds, steady clock
    double inner_ = 0; // milliseconds spent in timers inside this one
};

// Adds `ms` to `stage` in this thread's recording (time measured on another thread, such as the preview's).
void AddStageTime(Stage stage, double ms);

} // namespace vellicam
