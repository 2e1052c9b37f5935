// The main window's side of batch work: files and folders dropped on the window, the folder's photos worked
// through one by one, skipping and aborting.
#include "tform1.h"

namespace vellicam {

void TForm1::HandleDrop(const QList<QUrl>&, const QPoint&) { }

void TForm1::RunContinuous() { }

void TForm1::AdvanceBatch() { }

void TForm1::BitBtn10Click() { }

} // namespace vellicam
