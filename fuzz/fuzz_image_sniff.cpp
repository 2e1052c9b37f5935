// LoadImage's choice of reader by content: whatever the bytes, the dispatch picks at most one reader, refuses
// what none takes, and agrees with SniffImageFormat and with the reader it chose.
#include "fuzz_support.h"
#include "image/image_io.h"

using namespace vellicam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The name says JPEG whatever the content is: only the content may decide.
    static fuzz::ScratchFile file(".jpg");
    if (!file.Write(data, size))
        return 0;
    const ImageFormat format = SniffImageFormat(file.Path());
    FUZZ_CHECK(FormatFromExtension(file.Path()) == ImageFormat::Jpeg);

    Bitmap bitmap = fuzz::Sentinel();
    const IoResult loaded = LoadImage(file.Path(), bitmap);
    if (!loaded) {
        FUZZ_CHECK(!loaded.message.empty());
        FUZZ_CHECK(fuzz::IsSentinel(bitmap));
    } else {
        FUZZ_CHECK(format != ImageFormat::Unknown);
        fuzz::CheckDecoded(bitmap);
    }

    // The reader the dispatch chose, called directly, gives the same answer.
    Bitmap direct = fuzz::Sentinel();
    IoResult again = IoResult::Failure({ ErrorCode::UnknownFormat, ErrorDomain::Decode, {} }, "unknown format");
    switch (format) {
    case ImageFormat::Jpeg:
        again = LoadJpeg(file.Path(), direct);
        break;
    case ImageFormat::Png:
        again = LoadPng(file.Path(), direct);
        break;
    case ImageFormat::Ppm:
        again = LoadPpm(file.Path(), direct);
        break;
    case ImageFormat::Unknown:
        break;
    }
    FUZZ_CHECK(again.ok == loaded.ok);
    if (loaded)
        FUZZ_CHECK(direct.SameAs(bitmap));
    return 0;
}
