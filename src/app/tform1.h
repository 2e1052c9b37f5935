// The main window: every control of the workspace, the working state the whole program shares, and the handlers
// of its buttons, zoom box, view and frame. The photo, rotation and frame handlers live in src/workspace.
#pragma once

#include "image/bitmap.h"
#include "dialog_service.h"
#include "event_pump.h"
#include "keyed_image.h"
#include "resize_control.h"
#include "sheet/sheet_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QStringList>
#include <QToolButton>
#include <QUrl>
#include <QWidget>

#include <array>
#include <optional>

namespace vellicam {

struct CropRect;
class TForm2;
class TForm3;

// The status bar with its four fixed panels: guidance, path or mouse position, angle, background prompt.
class TStatusBar : public QStatusBar {
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    void SetPanel(int index, const QString& text);
    [[nodiscard]] QString Panel(int index) const;

private:
    std::array<QLabel*, 4> panels_ {};
};

// The program's Japanese Gothic face at 12 pixels, falling back to whatever the system has.
[[nodiscard]] QFont GothicFont();

// A label sized to its caption with its top-left corner at (left, top), as the windows' designed labels are.
QLabel* AddLabel(QWidget* parent, const QString& caption, int left, int top);

inline const QString kOutOfMemoryText = QStringLiteral("作業用のメモリが足りません。メモリを増設して下さい。");
inline const QString kOutOfMemoryCaption = QStringLiteral("Tessaly");

class TForm1 : public QWidget {
public:
    explicit TForm1(DialogService& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    // --- The other windows and the boxes ---
    TForm2* Form2 = nullptr; // set once the settings dialog exists
    TForm3* Form3 = nullptr;
    DialogService& Dialogs;

    // --- Working state ---
    QString CurrentPhotoPath; // empty while no photo is loaded
    QString ExeFolder; // with its trailing separator
    QString PhotoFolder; // with its trailing separator; the open dialog starts here
    QString AppTitle;
    int ZoomPercent = 100;
    int PreviousZoomPercent = 100;
    int ViewSide = 520;
    int ImageSide = 0;
    int RotationAngle = 0; // tenths of a degree, -3599..3599
    int MouseX = 0;
    int MouseY = 0;
    bool Busy = false;
    bool Starting = true;
    bool AbortRequested = false;
    int FrameMinWidth = 0;
    int FrameMinHeight = 0;
    int FrameMaxWidth = 0;
    int FrameMaxHeight = 0;
    int FrameAspectWidth = 0;
    int FrameAspectHeight = 0;
    Rect FrameRect;
    TResizeControl* ResizeFrame = nullptr;
    vellicam::SheetLayout SheetLayout;
    int HeadMarginPercent = 30;
    int ChinMarginPercent = 7;
    QString ReductionMessage;

    Bitmap PhotoBitmap;
    Bitmap SheetBitmap;
    Bitmap CellBitmap;
    Bitmap RotatedBitmap;
    Bitmap SquareBitmap;
    Bitmap OriginalBitmap;
    Bitmap FittedBitmap;

    // Head line
    bool MouseHeld = false;
    QPoint HeadTop;
    int RotationProposal = 0;
    bool PickingBackground = false;

    // Batch
    QStringList BatchFiles;
    bool BatchMode = false;
    int BatchIndex = 0;
    int SubfolderCount = 0;
    int FileCount = 0;
    int JpegCount = 0;

    // --- Controls, by their designed names ---
    QPushButton* BitBtn1 = nullptr; // 新規作成
    QPushButton* BitBtn2 = nullptr; // 写真選択
    QPushButton* BitBtn9 = nullptr; // 顔自動認識
    QPushButton* BitBtn3 = nullptr; // シート作成
    QPushButton* BitBtn16 = nullptr; // 設定
    QPushButton* BitBtn10 = nullptr; // スキップ
    QPushButton* BitBtn11 = nullptr; // 中断
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QToolButton* BitBtn14 = nullptr; // 終了
    QLabel* Label2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    TImage* Image4 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QToolButton* SpeedButton1 = nullptr; // 頭部サイズ指定
    QPushButton* BitBtn4 = nullptr;
    QPushButton* BitBtn6 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn8 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QWidget* ScrollContent = nullptr; // what ScrollBox1 scrolls; the view's controls lie on it
    TImage* Image1 = nullptr;
    TImage* Image2 = nullptr;
    TImage* Image3 = nullptr;
    TStatusBar* StatusBar1 = nullptr;

    // --- Shared operations ---
    void ReportMemory();
    void SetToolsEnabled(bool on);
    void ShowOutOfMemory();
    // Sets or clears Busy; while it is set the window keeps its size.
    void SetBusy(bool busy);
    [[nodiscard]] QString OutputFolder() const;

    // Photo loading and display
    [[nodiscard]] int LoadPhoto(const QString& path);
    int OpenPhoto(const QString& path, bool resetFrame);
    int ShowFitted(const Bitmap& image);
    void ResetWorkspace();
    // The zoom of the box's selected item; 100 for typed text.
    [[nodiscard]] int ZoomItemIndex() const;
    // Why the last LoadPhoto failed, for the status bar.
    QString LastLoadFailure;

    // Rotation
    void ApplyRotation(int angle);
    void RotateBy(int step, bool reset);

    // Crop frame and head line
    // Gives the frame image a picture of its own size: see-through blue with a red outline. A zoom change draws
    // the outline one row short (shortenBottom 1).
    void DrawFrameOutline(int shortenBottom = 0);
    void AttachFrame();
    void PlaceFrame(bool recentre);
    void FrameFromLine(int ex, int ey);
    // The frame in SquareBitmap pixels; the engine's crop result code.
    [[nodiscard]] int CropRectangle(CropRect& crop) const;
    [[nodiscard]] FrameLimits Limits() const;
    // Says so and returns true when the photo is too large to turn.
    bool RefuseLargeRotation();
    // Erases the head line from the overlay (the caller repaints).
    void ClearHeadLine();
    // Puts the view's scroll range around what is shown.
    void FitScrollContent();
    [[nodiscard]] int ScrollX() const;
    [[nodiscard]] int ScrollY() const;
    void ScrollToOrigin();

    // --- Event handlers ---
    void FormShow();
    void FormResize();
    void FormMouseMove(int x, int y);
    void ScrollBox1MouseMove(int x, int y);
    void Edit3MouseMove(int x, int y);
    void CheckBox4Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn6Click();
    void BitBtn7Click();
    void BitBtn8Click();
    void BitBtn9Click();
    void BitBtn10Click();
    void BitBtn11Click();
    void BitBtn14Click();
    void BitBtn16Click();
    void ComboBox1Change();
    void SpeedButton1Click();
    void Image1MouseDown(const MouseArgs& args);
    void Image2MouseDown(const MouseArgs& args);
    void Image2MouseMove(const MouseArgs& args);
    void Image2MouseUp(const MouseArgs& args);
    void Image3MouseDown(const MouseArgs& args);
    void Image3MouseMove(const MouseArgs& args);
    void Image3MouseUp(const MouseArgs& args);
    void ResizeFrameMouseDown(const MouseArgs& args);
    void ResizeFrameMouseMove(const MouseArgs& args);
    void ResizeFrameMouseUp(const MouseArgs& args);

    // Opens `path` as "写真選択" would after its dialog: the start-up photo of the command line.
    void SelectPhoto(const QString& path);

    // --- Recognition (src/recognition) ---
    // The automatic recognition run: finds the face, places the proposed frame, or logs and reports the failure.
    int RecogniseFace();
    void CheckBox5Click();
    // The wait, repainting, before the first detection; the one before a face image is saved is a tenth of it.
    // Tests shorten it.
    int RecognitionPauseMs = 500;
    // The hand cursor while the next press on the view picks the background colour.
    std::optional<OverrideCursor> PickCursor;

    // --- The print sheet (src/output) ---
    int CreateSheet();
    int ComposeSheet();
    void OpenOutputFolder();

    // --- Dropped files and continuous processing (src/batch) ---
    void HandleDrop(const QList<QUrl>& urls, const QPoint& position);
    void RunContinuous();
    void AdvanceBatch();
    // Makes the window the target of dropped files and folders; its text boxes leave drops to it.
    void AcceptFileDrops();
    // Opens the batch photo at BatchIndex or, passing over photos already done (with "同名のファイルは上書きしない")
    // and photos that do not open (logged), the first after it that opens. False when the list ran out.
    bool OpenBatchPhoto(bool resetFrame);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CreateControls();
    void ApplySizeRule();
    bool shown_ = false;
    bool inResize_ = false;
    int workDepth_ = 0;

public:
    // Holds the window's size while engine work that lets events run is under way: a resize in the middle would
    // rebuild the bitmaps the work is reading.
    class WorkScope {
    public:
        explicit WorkScope(TForm1& form);
        ~WorkScope();
        WorkScope(const WorkScope&) = delete;
        WorkScope& operator=(const WorkScope&) = delete;

    private:
        TForm1& form_;
    };

private:
    // The four-way cursor shown while a head line is dragged.
    std::optional<OverrideCursor> lineCursor_;
};

} // namespace vellicam
