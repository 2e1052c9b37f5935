// "印刷": the last sheet made, printed through the dialog service at its own size, with a question first when the
// chosen printer cannot print all of it.
#pragma once

#include "dialog_service.h"
#include "session/photo_session.h"

#include <QPushButton>
#include <QString>

namespace vellicam {

// The "印刷" button of the main window and the preview window (object name "printButton"), off until a sheet is
// made.
[[nodiscard]] QPushButton* MakePrintButton(QWidget* parent);

// The question asked when the sheet reaches past the printer's printable area, with how far it does.
[[nodiscard]] QString PrintOverflowQuestion(const PrintFit& fit);

// Prints `saved` through `dialogs`: asked about when the printer chosen cannot print the whole sheet, and a box
// (titled `title`) when there is no printer or the print failed. Nothing without a sheet.
void PrintSavedSheet(DialogService& dialogs, const QString& title, const PhotoSession::SavedSheet& saved);

} // namespace vellicam
