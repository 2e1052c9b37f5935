// The sheet against the printer's printable area.
#include "sheet/print_fit.h"

#include <algorithm>
#include <cmath>

namespace vellicam {

double PrintFit::largest() const
{
    return std::max({ left, top, right, bottom });
}

PrintFit FitSheetOnPage(int width, int height, int dpi, const PaperRect& printable)
{
    const bool finite = std::isfinite(printable.left) && std::isfinite(printable.top) && std::isfinite(printable.width)
        && std::isfinite(printable.height);
    if (width < 1 || height < 1 || dpi < 1 || !finite || printable.width <= 0 || printable.height <= 0) {
        const double w = std::max(width, 0) * 25.4 / std::max(dpi, 1);
        const double h = std::max(height, 0) * 25.4 / std::max(dpi, 1);
        return { false, w, h, w, h };
    }
    const double sheetWidth = width * 25.4 / dpi;
    const double sheetHeight = height * 25.4 / dpi;
    // A hundredth of a millimetre is far below a printer's dot; it keeps rounding in the area from refusing a sheet.
    constexpr double kSlack = 0.01;
    const auto past = [](double by) { return by > kSlack ? by : 0.0; };
    PrintFit fit;
    fit.left = past(printable.left);
    fit.top = past(printable.top);
    fit.right = past(sheetWidth - (printable.left + printable.width));
    fit.bottom = past(sheetHeight - (printable.top + printable.height));
    fit.fits = fit.largest() == 0.0;
    return fit;
}

} // namespace vellicam
