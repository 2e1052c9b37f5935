#include "dialog_service.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace vellicam {

void QtDialogService::Message(const QString& title, const QString& text, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon, title, text,
        QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogService::Ask(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogService::OpenPicture(const QString& title, const QString& folder)
{
    QFileDialog dialog(parent_, title, folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({ QStringLiteral("JPEG画像 (*.jpg *.jpeg *.JPG *.JPEG)"), QStringLiteral("すべてのファイル (*)") });
    // Wide enough for the name, size, type and date columns of the detail view.
    dialog.resize(900, 560);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    // More than one file is treated as no choice at all.
    return files.size() == 1 ? files.front() : QString();
}

bool QtDialogService::OpenUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

PrintOutcome QtDialogService::PrintSheet(
    const QImage& sheet, const PaperSize& paper, const std::function<bool(const PaperRect&)>& acceptArea)
{
    if (sheet.isNull())
        return PrintOutcome::Failed;
    // Asked first: without a printer the dialog would offer nothing but a file, and a user looking for a printer
    // would wonder where it went.
    if (QPrinterInfo::availablePrinters().isEmpty())
        return PrintOutcome::NoPrinter;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QSizeF(paper.width / 10.0, paper.height / 10.0), QPageSize::Millimeter,
        QString::fromUtf8(paper.name), QPageSize::ExactMatch));
    printer.setPageOrientation(QPageLayout::Portrait);
    // The painter's origin at the paper's corner: the sheet is laid out for the whole paper, not for the margins.
    printer.setFullPage(true);
    printer.setDocName(QStringLiteral("Vellicam"));
    QPrintDialog dialog(&printer, parent_);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() != QDialog::Accepted)
        return PrintOutcome::Cancelled;

    // The printer's own margins on the paper chosen in the dialog: what it can print.
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    const QRectF page = layout.fullRect(QPageLayout::Millimeter);
    const QMarginsF margins = layout.minimumMargins();
    const PaperRect printable { margins.left(), margins.top(), page.width() - margins.left() - margins.right(),
        page.height() - margins.top() - margins.bottom() };
    if (acceptArea && !acceptArea(printable))
        return PrintOutcome::Cancelled;

    QPainter painter;
    if (!painter.begin(&printer))
        return PrintOutcome::Failed;
    const double dotsPerSheetPixel = printer.resolution() / double(kSheetResolution);
    painter.drawImage(QRectF(0, 0, sheet.width() * dotsPerSheetPixel, sheet.height() * dotsPerSheetPixel), sheet);
    return painter.end() ? PrintOutcome::Printed : PrintOutcome::Failed;
}

} // namespace vellicam
