// LoadPng on arbitrary bytes written to a scratch file: a refusal leaves the target as it was, a success is a
// bitmap within the size limit, and nothing crashes or leaks.
#include "fuzz_support.h"
#include "image/image_io.h"

using namespace vellicam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::ScratchFile file(".png");
    if (!file.Write(data, size))
        return 0;
    Bitmap bitmap = fuzz::Sentinel();
    const IoResult loaded = LoadPng(file.Path(), bitmap);
    if (loaded) {
        fuzz::CheckDecoded(bitmap);
    } else {
        FUZZ_CHECK(!loaded.message.empty());
        FUZZ_CHECK(fuzz::IsSentinel(bitmap));
    }
    return 0;
}
