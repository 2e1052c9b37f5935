#include "scope_guards.h"

#include <QApplication>

namespace vellicam {

OverrideCursor::OverrideCursor(Qt::CursorShape shape)
{
    QApplication::setOverrideCursor(QCursor(shape));
}

OverrideCursor::~OverrideCursor()
{
    QApplication::restoreOverrideCursor();
}

} // namespace vellicam
