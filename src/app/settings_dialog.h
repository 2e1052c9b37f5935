// The settings dialog: edits the program's settings value (every option of recognition, the sheet and batch work)
// and shows the process memory report.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>

namespace vellicam {

class MainWindow;

// Every setting the dialog edits, with its default. The window reads it at the moment it needs a value.
struct DialogSettings {
    bool recogniseOnOpen = true;
    bool skipUnrecognised = false;
    bool correctHeadTop = true;
    bool oversizeIsError = true;
    bool upperHalfOnly = true;
    bool detectChin = true;
    bool showResults = true;
    bool centreMarks = true;
    bool cornerMarks = true;
    bool scale = true;
    bool keepExistingSheets = false; // passes over photos whose sheet exists already
    bool saveFaceImage = false;
    int jpegQuality = 90;
    int headTopRatio = 80; // per cent of background at the head top
    int backgroundTolerance = 50;
    int precision = 3;
    int minFaceSize = 200; // pixels
};

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
        QCheckBox* centreMarksBox = nullptr;
        QCheckBox* cornerMarksBox = nullptr;
        QCheckBox* scaleBox = nullptr;
        QCheckBox* keepExistingSheetsBox = nullptr;
        QCheckBox* saveFaceImageBox = nullptr;
        QSlider* jpegQualitySlider = nullptr;
        QSlider* headTopRatioSlider = nullptr;
        QSlider* backgroundToleranceSlider = nullptr;
        QSlider* precisionSlider = nullptr;
        QSlider* minFaceSizeSlider = nullptr;
        QToolButton* closeButton = nullptr;
        QPlainTextEdit* memoryReport = nullptr;
    };

    explicit SettingsDialog(MainWindow& window, QWidget* parent = nullptr);

    [[nodiscard]] const DialogSettings& settings() const { return settings_; }
    // Recognition on opening is switched off by the window when the face cascade turns out missing, and by
    // keeping the frame.
    void setRecogniseOnOpen(bool on);
    void showMemoryReport(const QString& text);
    [[nodiscard]] const Controls& controls() const { return ui_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void recogniseOnOpenToggled();

    MainWindow& window_;
    DialogSettings settings_;
    Controls ui_;
};

} // namespace vellicam
