#include "event_pump.h"

#include <QApplication>
#include <QCoreApplication>

namespace vellicam {

EventPump::EventPump(Input input, int intervalMs)
    : input_(input)
    , intervalMs_(intervalMs)
{
    timer_.start();
}

void EventPump::Tick()
{
    if (timer_.elapsed() < intervalMs_)
        return;
    QCoreApplication::processEvents(input_ == Input::Held ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    ++runs_;
    timer_.restart();
}

void PumpEvents()
{
    QCoreApplication::processEvents();
}

OverrideCursor::OverrideCursor(Qt::CursorShape shape)
{
    QApplication::setOverrideCursor(QCursor(shape));
}

OverrideCursor::~OverrideCursor()
{
    QApplication::restoreOverrideCursor();
}

} // namespace vellicam
