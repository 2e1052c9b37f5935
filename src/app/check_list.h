// The framed photo's checks as a short list beside the view: each check's name, value and rule, a failed one in red.
// It shows the value it is given and computes nothing.
#pragma once

#include "session/photo_checks.h"

#include <QListWidget>

#include <vector>

namespace vellicam {

class CheckList : public QListWidget {
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);
    // One row per check (its text, the rule as its tip); hidden while no check is known.
    void setChecks(const std::vector<PhotoCheck>& checks);
};

} // namespace vellicam
