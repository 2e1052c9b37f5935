// The one door to modal message boxes, the picture open dialog, the print dialog and the desktop's "open": the
// window asks through it, so tests can answer questions and record what would have been shown or printed.
#pragma once

#include "sheet/photo_size.h"
#include "sheet/print_fit.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace vellicam {

enum class MessageIcon { None, Information };

enum class PrintOutcome { Printed, Cancelled, NoPrinter, Failed };

class DialogService {
public:
    virtual ~DialogService() = default;
    // A message box with one OK button.
    virtual void Message(const QString& title, const QString& text, MessageIcon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Ask(const QString& title, const QString& text) = 0;
    // The picture open dialog: one existing file, or an empty string when the user cancelled.
    virtual QString OpenPicture(const QString& title, const QString& folder) = 0;
    // Hands a folder or a file to the desktop to open; false when nothing could open it.
    virtual bool OpenUrl(const QUrl& url) = 0;
    // The print dialog for `sheet` on `paper`: printed from the paper's top left corner at one sheet pixel per
    // 1/300 inch, never scaled to fit. Once a printer is chosen, `acceptArea` gets its printable area on the paper
    // and may cancel before anything is printed. NoPrinter when the system knows no printer.
    virtual PrintOutcome PrintSheet(
        const QImage& sheet, const PaperSize& paper, const std::function<bool(const PaperRect&)>& acceptArea)
        = 0;
};

// The real boxes, parented to `parent` so they stay above the main window.
class QtDialogService final : public DialogService {
public:
    explicit QtDialogService(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Message(const QString& title, const QString& text, MessageIcon icon) override;
    bool Ask(const QString& title, const QString& text) override;
    QString OpenPicture(const QString& title, const QString& folder) override;
    bool OpenUrl(const QUrl& url) override;
    PrintOutcome PrintSheet(
        const QImage& sheet, const PaperSize& paper, const std::function<bool(const PaperRect&)>& acceptArea) override;

private:
    QWidget* parent_ = nullptr;
};

} // namespace vellicam
