#include "status_panels.h"

namespace vellicam {

StatusPanels::StatusPanels(QWidget* parent)
    : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    // The angle panel is wide enough for the run's last word with the face-height check and the tilt beside it.
    const int widths[4] = { 300, 220, 420, 50 };
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setFixedWidth(widths[i]);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        // One line of the window's text, whatever glyphs a text brings (a check mark from a fallback face is
        // taller): the bar, and the view above it, keep their height.
        label->setText(QStringLiteral("自動認識完了 Ag"));
        label->setFixedHeight(label->sizeHint().height());
        label->clear();
        addWidget(label);
        panels_[i] = label;
    }
}

void StatusPanels::setPanel(int index, const QString& text)
{
    setPanel(index, text, QString());
}

void StatusPanels::setPanel(int index, const QString& text, const QString& tip)
{
    QLabel* panel = panels_.at(static_cast<std::size_t>(index));
    panel->setText(text);
    panel->setToolTip(tip);
}

QString StatusPanels::panelTip(int index) const
{
    return panels_.at(static_cast<std::size_t>(index))->toolTip();
}

QString StatusPanels::panel(int index) const
{
    return panels_.at(static_cast<std::size_t>(index))->text();
}

} // namespace vellicam
