// Stage timing of the way from file to sheet.
#include "core/stage_times.h"

#include <chrono>

namespace vellicam {

namespace {

thread_local StageTimes* t_recording = nullptr;
thread_local StageTimer* t_innermost = nullptr;

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

const char* StageName(Stage stage)
{
    switch (stage) {
    case Stage::Decode:
        return "decode";
    case Stage::Square:
        return "square/turn";
    case Stage::Recognition:
        return "recognition";
    case Stage::Checks:
        return "checks";
    case Stage::Cut:
        return "cut";
    case Stage::Reduce:
        return "reduce";
    case Stage::Sharpen:
        return "sharpen";
    case Stage::Compose:
        return "compose";
    case Stage::Encode:
        return "encode";
    case Stage::Sync:
        return "write+sync";
    case Stage::Preview:
        return "preview";
    case Stage::Count:
        break;
    }
    return "?";
}

StageTimes& StageTimes::operator+=(const StageTimes& other)
{
    for (std::size_t i = 0; i < kStageCount; ++i)
        ms[i] += other.ms[i];
    return *this;
}

StageRecording::StageRecording(StageTimes& times)
    : previous_(t_recording)
{
    t_recording = &times;
}

StageRecording::~StageRecording()
{
    t_recording = previous_;
}

StageTimer::StageTimer(Stage stage)
    : stage_(stage)
    , times_(t_recording)
{
    if (!times_)
        return;
    outer_ = t_innermost;
    t_innermost = this;
    start_ = NowMs();
}

StageTimer::~StageTimer()
{
    if (!times_)
        return;
    const double spent = NowMs() - start_;
    (*times_)[stage_] += spent - inner_;
    if (outer_)
        outer_->inner_ += spent;
    t_innermost = outer_;
}

void AddStageTime(Stage stage, double ms)
{
    if (t_recording)
        (*t_recording)[stage] += ms;
}

} // namespace vellicam
