// The settings dialog: edits the dialog's part of the program's settings value (the options of recognition, the
// photo and paper sizes, the sheet and batch work), says which face detector is in use and shows the process memory
// report.
#pragma once

#include "session/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>

namespace vellicam {

class MainWindow;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog's controls, for the window's tests.
    struct Controls {
        QCheckBox* recogniseOnOpenBox = nullptr;
        QCheckBox* skipUnrecognisedBox = nullptr;
        QCheckBox* correctHeadTopBox = nullptr;
        QCheckBox* oversizeIsErrorBox = nullptr;
        QCheckBox* upperHalfOnlyBox = nullptr;
        QCheckBox* detectChinBox = nullptr;
        QCheckBox* showResultsBox = nullptr;
        QCheckBox* straightenBox = nullptr; // 傾きを自動で補正する
        QComboBox* photoSizeList = nullptr; // the photo sizes' ids are the items' data
        QComboBox* paperList = nullptr;
        QCheckBox* centreMarksBox = nullptr;
        QCheckBox* cornerMarksBox = nullptr;
        QCheckBox* scaleBox = nullptr;
        QCheckBox* keepExistingBox = nullptr;
        QCheckBox* saveFaceImageBox = nullptr;
        QComboBox* plainBackgroundList = nullptr; // 背景を無地にする: off, 白, 薄い青, 薄いグレー, the picked colour
        QSlider* jpegQualitySlider = nullptr;
        QSlider* backgroundRatioSlider = nullptr;
        QSlider* colourToleranceSlider = nullptr;
        QSlider* precisionSlider = nullptr;
        QSlider* minFaceSizeSlider = nullptr;
        QToolButton* closeButton = nullptr;
        QPlainTextEdit* memoryReport = nullptr;
        QLabel* detectorLabel = nullptr; // which face detector is in use, once it is known
    };

    explicit SettingsDialog(MainWindow& window, QWidget* parent = nullptr);

    // The settings value as the dialog has edited it; the main window's own options are the window's.
    [[nodiscard]] const Settings& settings() const { return settings_; }
    // Recognition on opening is switched off by the window when the face cascade turns out missing, and by
    // keeping the frame.
    void setRecogniseOnOpen(bool on);
    void showMemoryReport(const QString& text);
    // The face detector in use, as the window learned it.
    void showDetectorKind(const QString& text);
    [[nodiscard]] const Controls& controls() const { return ui_; }

signals:
    // The photo size or the paper was chosen anew: the window rebuilds the sheet's layout.
    void sheetSizeChanged();

public:
    // Gives the dialog the height it shows with: just below its last line.
    void fitHeight();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void recogniseOnOpenToggled();

    MainWindow& window_;
    Settings settings_;
    Controls ui_;
};

} // namespace vellicam
