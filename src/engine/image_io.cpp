// Placeholder until the readers and writers land.
#include "image_io.h"

namespace vellicam {
namespace {
    IoResult NotYet() { return IoResult::Failure("not implemented yet"); }
}
ImageFormat SniffImageFormat(const std::string&) { return ImageFormat::Unknown; }
ImageFormat FormatFromExtension(const std::string&) { return ImageFormat::Unknown; }
IoResult LoadJpeg(const std::string&, Bitmap&) { return NotYet(); }
IoResult DecodeJpeg(const unsigned char*, std::size_t, Bitmap&) { return NotYet(); }
IoResult SaveJpeg(const std::string&, const Bitmap&, const JpegOptions&) { return NotYet(); }
IoResult EncodeJpeg(const Bitmap&, const JpegOptions&, std::string&) { return NotYet(); }
IoResult LoadPng(const std::string&, Bitmap&) { return NotYet(); }
IoResult SavePng(const std::string&, const Bitmap&) { return NotYet(); }
IoResult LoadPpm(const std::string&, Bitmap&) { return NotYet(); }
IoResult SavePpm(const std::string&, const Bitmap&) { return NotYet(); }
IoResult LoadImage(const std::string&, Bitmap&) { return NotYet(); }
IoResult SaveImage(const std::string&, const Bitmap&, const JpegOptions&) { return NotYet(); }
IoResult WriteFileAtomically(const std::string&, const std::string&) { return NotYet(); }
} // namespace vellicam
