// The person mask's own geometry on arbitrary masks: the region of one person, the head top it gives over a face,
// whether somebody else shares a frame, and the background replaced from it. Nothing is read outside the mask or
// the image, the region keeps only values the mask had, a head top lies above the eyes, and the replacement keeps
// the image's size and leaves a person's pixel of full value untouched.
#include "fuzz_support.h"
#include "recognition/person_mask.h"

using namespace vellicam;

namespace {

// Reads the input a byte at a time; zeros once it runs out.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size)
    {
    }
    int Next() { return at_ < size_ ? data_[at_++] : 0; }
    int Signed(int range) { return Next() % (2 * range + 1) - range; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    PersonMask mask;
    mask.width = 1 + in.Next() % 48;
    mask.height = 1 + in.Next() % 48;
    mask.scale = 1 + in.Next() % 4;
    // Where the mask picture was cut from the image: never left of or above it.
    mask.left = in.Next() % 7;
    mask.top = in.Next() % 7;
    // The image the mask was made for: its size need not match the mask's cover.
    const int imageWidth = 1 + in.Next() % 96, imageHeight = 1 + in.Next() % 96;
    mask.values.resize(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height));
    for (std::uint8_t& v : mask.values)
        v = static_cast<std::uint8_t>(in.Next() < 100 ? 0 : in.Next());
    const PersonMask all = mask;

    const int seedX = in.Signed(100), seedY = in.Signed(100);
    PersonMask region = mask;
    if (KeepRegionAt(region, seedX, seedY)) {
        FUZZ_CHECK(region.values.size() == mask.values.size());
        for (std::size_t i = 0; i < region.values.size(); ++i)
            FUZZ_CHECK(region.values[i] == 0 || region.values[i] == mask.values[i]);
    } else {
        FUZZ_CHECK(region.values == mask.values);
    }

    FaceLandmarks face;
    face.leftEyeX = in.Signed(100);
    face.leftEyeY = in.Signed(100);
    face.rightEyeX = in.Signed(100);
    face.rightEyeY = in.Signed(100);
    face.chinX = in.Signed(100);
    face.chinY = in.Signed(150);
    face.hasSides = (in.Next() & 1) != 0;
    face.leftSideX = in.Signed(100);
    face.leftSideY = in.Signed(100);
    face.rightSideX = in.Signed(100);
    face.rightSideY = in.Signed(100);
    const int top = HeadTopFromMask(region, face);
    FUZZ_CHECK(top == -1 || (top >= 0 && top < (face.leftEyeY + face.rightEyeY) / 2));
    (void)FaceCentreColumn(face);

    const Rect frame { in.Signed(100), in.Signed(100), in.Signed(150), in.Signed(150) };
    std::vector<ImagePoint> others(static_cast<std::size_t>(in.Next() % 4));
    for (ImagePoint& p : others)
        p = { in.Signed(100), in.Signed(100) };
    (void)OtherPersonInFrame(all, region, frame, others);

    Bitmap image;
    if (!image.Resize(imageWidth, imageHeight))
        return 0;
    for (int y = 0; y < imageHeight; ++y)
        for (int x = 0; x < imageWidth; ++x)
            image.SetPixel(x, y, { static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 2), 90 });
    const Bitmap before = image;
    const Rgb colour { static_cast<std::uint8_t>(in.Next()), static_cast<std::uint8_t>(in.Next()), 200 };
    if (ReplaceBackground(image, region, colour)) {
        FUZZ_CHECK(image.Width() == imageWidth && image.Height() == imageHeight);
    } else {
        FUZZ_CHECK(image.SameAs(before));
    }

    MaskPicture picture;
    if (MakeMaskPicture(before, 1 + in.Next() % 64, picture)) {
        FUZZ_CHECK(picture.scale >= 1);
        FUZZ_CHECK(picture.picture.Width() >= 1 && picture.picture.Height() >= 1);
    }
    return 0;
}
