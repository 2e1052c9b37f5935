// What the windows share in their look: the Japanese Gothic face and labels placed as designed.
#pragma once

#include <QFont>

class QLabel;
class QString;
class QWidget;

namespace vellicam {

// The program's Japanese Gothic face at 12 pixels, falling back to whatever the system has.
[[nodiscard]] QFont gothicFont();

// A label sized to its caption with its top-left corner at (left, top), as the windows' designed labels are.
QLabel* addLabel(QWidget* parent, const QString& caption, int left, int top);

} // namespace vellicam
