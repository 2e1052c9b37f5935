// The PDF sheet: one page, one image, written by hand (a PDF of this shape needs no library).
#include "sheet/sheet_pdf.h"

#include "sheet/output_path.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace vellicam {

namespace {

// The header with the binary comment that tells transfer programs the file is binary, then the Info dictionary: the
// start every PDF sheet shares, and all IsMarkedSheetPdf reads.
std::string MarkedHead()
{
    return std::string("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Producer (") + kSheetMark + ") >>\nendobj\n";
}

std::string PointsText(long long milliPoints)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", milliPoints / 1000, milliPoints % 1000);
    return text;
}

} // namespace

bool IsPdfName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const std::string tail = name.substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'p' && (tail[2] | 0x20) == 'd' && (tail[3] | 0x20) == 'f';
}

long long TenthsToMilliPoints(int tenths)
{
    if (tenths <= 0)
        return 0;
    // 254 tenths of a millimetre are 72 points: 72000 thousandths.
    return (static_cast<long long>(tenths) * 72000 + 127) / 254;
}

bool BuildSheetPdf(
    const std::string& jpeg, int pixelWidth, int pixelHeight, int pageWidth, int pageHeight, std::string& out)
{
    if (jpeg.empty() || pixelWidth < 1 || pixelHeight < 1 || pageWidth < 1 || pageHeight < 1)
        return false;
    const std::string width = PointsText(TenthsToMilliPoints(pageWidth));
    const std::string height = PointsText(TenthsToMilliPoints(pageHeight));

    std::string pdf = MarkedHead();
    std::array<std::size_t, 7> offsets {};
    offsets[1] = pdf.find("1 0 obj");
    const auto object = [&](int number, const std::string& body) {
        offsets[static_cast<std::size_t>(number)] = pdf.size();
        pdf += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    object(2, "<< /Type /Catalog /Pages 3 0 R >>");
    object(3, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
    object(4,
        "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 " + width + " " + height
            + "] /Resources << /XObject << /Sheet 5 0 R >> >> /Contents 6 0 R >>");
    object(5,
        "<< /Type /XObject /Subtype /Image /Width " + std::to_string(pixelWidth) + " /Height "
            + std::to_string(pixelHeight) + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length "
            + std::to_string(jpeg.size()) + " >>\nstream\n" + jpeg + "\nendstream");
    // The image space's unit square stretched over the whole page.
    const std::string draw = "q " + width + " 0 0 " + height + " 0 0 cm /Sheet Do Q";
    object(6, "<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "\nendstream");

    const std::size_t xref = pdf.size();
    pdf += "xref\n0 7\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        char entry[24];
        // Each entry is exactly 20 bytes: ten digits, space, five digits, space, 'n', space, newline.
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets[i]);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size 7 /Root 2 0 R /Info 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    out = std::move(pdf);
    return true;
}

IoResult WriteSheetPdf(const std::string& path, const Bitmap& sheet, const JpegOptions& options, const PaperSize& paper)
{
    JpegOptions marked = options;
    marked.comment = kSheetMark;
    std::string jpeg;
    if (const IoResult encoded = EncodeJpeg(sheet, marked, jpeg); !encoded)
        return encoded;
    std::string pdf;
    if (!BuildSheetPdf(jpeg, sheet.Width(), sheet.Height(), paper.width, paper.height, pdf))
        return IoResult::Failure(
            { ErrorCode::BadArgument, ErrorDomain::Encode }, "cannot write " + path + ": no page for this paper");
    return WriteFileAtomically(path, pdf);
}

bool IsMarkedSheetPdf(const std::string& path)
{
    // Regular files only: opening a FIFO would wait for a writer.
    if (KindOfFile(path) != FileKind::Regular)
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const std::string head = MarkedHead();
    std::vector<char> read(head.size());
    std::size_t got = 0;
    while (got < read.size()) {
        const ssize_t n = ::read(fd, read.data() + got, read.size() - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return got == head.size() && std::string(read.data(), got) == head;
}

} // namespace vellicam
