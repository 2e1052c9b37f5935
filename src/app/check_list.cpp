// The check list widget.
#include "check_list.h"

#include <algorithm>

namespace vellicam {

CheckList::CheckList(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::NoSelection);
    // Long rules wrap inside the list rather than scroll sideways.
    setWordWrap(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setResizeMode(QListView::Adjust);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("規格のチェック（警告です。シートはそのまま作れます）"));
    hide();
}

void CheckList::setChecks(const std::vector<PhotoCheck>& checks)
{
    clear();
    const bool known = std::any_of(
        checks.begin(), checks.end(), [](const PhotoCheck& c) { return c.state != CheckState::Unknown; });
    if (!known) {
        hide();
        return;
    }
    for (const PhotoCheck& c : checks) {
        auto* row = new QListWidgetItem(QString::fromStdString(c.text), this);
        row->setToolTip(QString::fromStdString(c.rule));
        if (c.state == CheckState::Failed)
            row->setForeground(QColor(200, 0, 0));
        else if (c.state == CheckState::Unknown)
            row->setForeground(QColor(120, 120, 120));
    }
    show();
    raise();
}

} // namespace vellicam
