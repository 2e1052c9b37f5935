// The main window's side of the print sheet: "シート作成", the cut from the frame, composing and saving the sheet,
// the preview, and opening the output folder.
#include "tform1.h"

namespace vellicam {

void TForm1::BitBtn3Click() { }

int TForm1::CreateSheet()
{
    return 0;
}

int TForm1::ComposeSheet()
{
    return 0;
}

void TForm1::OpenOutputFolder() { }

} // namespace vellicam
