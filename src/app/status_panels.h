// The main window's status bar with its four fixed panels.
#pragma once

#include <QLabel>
#include <QStatusBar>

#include <array>

namespace vellicam {

// The panels, left to right: guidance, path or mouse position, angle, background prompt.
enum StatusPanel : int { kGuidancePanel = 0, kPathPanel = 1, kAnglePanel = 2, kPromptPanel = 3 };

class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent = nullptr);
    void setPanel(int index, const QString& text);
    // The panel's text with a tip shown over it (the whole of what the text shortens).
    void setPanel(int index, const QString& text, const QString& tip);
    [[nodiscard]] QString panelTip(int index) const;
    [[nodiscard]] QString panel(int index) const;

private:
    std::array<QLabel*, 4> panels_ {};
};

} // namespace vellicam
