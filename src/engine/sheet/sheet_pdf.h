// A print sheet as a one-page PDF: the page is the paper's size and the sheet's own JPEG bytes are drawn over the
// whole page, so the sheet prints at its 300 dpi wherever the PDF is printed at actual size.
#pragma once

#include "image/bitmap.h"
#include "image/image_io.h"
#include "sheet/photo_size.h"

#include <string>

namespace vellicam {

// True when the file name ends in ".pdf" in any case.
[[nodiscard]] bool IsPdfName(const std::string& name);

// Page lengths in points (1/72 inch) are written with three decimals; this is one length in thousandths of a point,
// from tenths of a millimetre, rounded half up. Negative lengths give 0.
[[nodiscard]] long long TenthsToMilliPoints(int tenths);

// The bytes of a one-page PDF 1.4: a MediaBox of pageWidth × pageHeight (tenths of a millimetre), the baseline JPEG
// `jpeg` of pixelWidth × pixelHeight pixels, three components, embedded unchanged as a DCTDecode image that fills
// the page, the Info dictionary's Producer kSheetMark (it comes first, so IsMarkedSheetPdf reads only the head) and
// an xref table with the objects' exact offsets. No date or identifier: the same input gives the same bytes.
// Refuses (false, `out` untouched) empty JPEG data and lengths or sizes below 1.
[[nodiscard]] bool BuildSheetPdf(
    const std::string& jpeg, int pixelWidth, int pixelHeight, int pageWidth, int pageHeight, std::string& out);

// Encodes `sheet` as the JPEG sheet would be written (the options unchanged, kSheetMark as its comment), wraps it
// as BuildSheetPdf does for `paper` and writes the file atomically (WriteFileAtomically): a failed write leaves no
// file and an existing file untouched.
[[nodiscard]] IoResult WriteSheetPdf(
    const std::string& path, const Bitmap& sheet, const JpegOptions& options, const PaperSize& paper);

// True when `path` is a regular file that begins as every PDF sheet of this program does (its header and the Info
// dictionary with the mark). Reads the first bytes only; anything else (missing, a folder, a FIFO, another PDF) is
// false.
[[nodiscard]] bool IsMarkedSheetPdf(const std::string& path);

} // namespace vellicam
