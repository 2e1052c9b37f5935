// Printing the last sheet: the button, the fit question and the boxes after the print dialog.
#include "sheet_printing.h"

#include "qt_bitmap.h"
#include "sheet/print_fit.h"

#include <cmath>

namespace vellicam {

namespace {
const QString kPrintCaption = QStringLiteral("印刷");
const QString kNoPrinter = QStringLiteral("プリンターが見つかりません。\nプリンターを設定してから印刷して下さい。");
const QString kPrintFailed = QStringLiteral("印刷出来ませんでした。");
const QString kOverflow = QStringLiteral("シートがプリンターの印刷出来る範囲に収まりません。\n"
                                         "端から最大 %1mm が印刷されません。\n印刷しますか？");
const QString kNoMemory = QStringLiteral("メモリが不足しているため印刷出来ません。");
constexpr QSize kButtonSize(65, 41);
} // namespace

QPushButton* MakePrintButton(QWidget* parent)
{
    auto* button = new QPushButton(kPrintCaption, parent);
    button->setObjectName(QStringLiteral("printButton"));
    button->setMinimumSize(kButtonSize);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setEnabled(false);
    return button;
}

QString PrintOverflowQuestion(const PrintFit& fit)
{
    // Rounded up: "0.0mm" would read as if nothing were lost.
    const double tenths = std::ceil(fit.largest() * 10.0 - 1e-9) / 10.0;
    return kOverflow.arg(tenths, 0, 'f', 1);
}

void PrintSavedSheet(DialogService& dialogs, const QString& title, const PhotoSession::SavedSheet& saved)
{
    if (!saved.sheet || saved.sheet->Empty() || !saved.paper)
        return;
    QImage image = ToQImage(*saved.sheet);
    if (image.isNull()) {
        dialogs.Message(title, kNoMemory, MessageIcon::None);
        return;
    }
    // The sheet's own resolution travels with it: 300 dpi is 11811 dots per metre.
    image.setDotsPerMeterX(qRound(kSheetResolution / 0.0254));
    image.setDotsPerMeterY(qRound(kSheetResolution / 0.0254));
    const int width = saved.sheet->Width();
    const int height = saved.sheet->Height();
    const PrintOutcome printed = dialogs.PrintSheet(image, *saved.paper, [&](const PaperRect& printable) {
        const PrintFit fit = FitSheetOnPage(width, height, kSheetResolution, printable);
        return fit.fits || dialogs.Ask(title, PrintOverflowQuestion(fit));
    });
    if (printed == PrintOutcome::NoPrinter)
        dialogs.Message(title, kNoPrinter, MessageIcon::None);
    else if (printed == PrintOutcome::Failed)
        dialogs.Message(title, kPrintFailed, MessageIcon::None);
}

} // namespace vellicam
