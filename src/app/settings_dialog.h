// The settings dialog: edits its part of a settings value (the options of recognition, the photo and paper sizes,
// the sheet and batch work, and whether they are all kept between runs) and signals each change; says which face detector is in use and shows the process
// memory report. It knows no window: whoever shows it keeps the value and answers its signals.
#pragma once

#include "session/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>

#include <functional>
#include <vector>

namespace vellicam {

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
        QCheckBox* rememberBox = nullptr; // 設定を記憶する
        QComboBox* plainBackgroundList = nullptr; // 背景を無地にする: off, 白, 薄い青, 薄いグレー, the picked colour
        QComboBox* sheetFormatList = nullptr; // シートの形式: JPEG, PDF
        QSlider* jpegQualitySlider = nullptr;
        QSlider* backgroundRatioSlider = nullptr;
        QSlider* colourToleranceSlider = nullptr;
        QSlider* precisionSlider = nullptr;
        QSlider* minFaceSizeSlider = nullptr;
        QToolButton* closeButton = nullptr;
        QPlainTextEdit* memoryReport = nullptr;
        QLabel* detectorLabel = nullptr; // which face detector is in use, once it is known
    };

    // Shows `value`; every control starts at its field.
    explicit SettingsDialog(const Settings& value = {}, QWidget* parent = nullptr);

    // The value as the dialog has edited it; the fields it has no control for are as it was given them.
    [[nodiscard]] const Settings& settings() const { return settings_; }
    // Shows `value` in the controls without signalling a change.
    void setSettings(const Settings& value);
    void showMemoryReport(const QString& text);
    // The face detector in use, as the window learned it.
    void showDetectorKind(const QString& text);
    [[nodiscard]] const Controls& controls() const { return ui_; }

signals:
    // A control changed the value: the whole value as it is now.
    void settingsChanged(const vellicam::Settings& value);
    // The photo size or the paper was chosen anew (after settingsChanged): the sheet's layout is rebuilt.
    void sheetSizeChanged();

public:
    // Gives the dialog the height it shows with: just below its last line.
    void fitHeight();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Settings settings_;
    Controls ui_;
    // Each puts its control at its field of settings_, without signalling.
    std::vector<std::function<void()>> showField_;
};

} // namespace vellicam
