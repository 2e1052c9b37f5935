// The EXIF orientation: read from the APP1 block in either byte order, applied on load for all eight values, and
// ignored when the block is broken.
#include "exif_block.h"
#include "image/exif_orientation.h"
#include "image/image_io.h"
#include "image/photo.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace vellicam;

namespace {

// Quadrants of the stored picture, far apart in colour so that JPEG's rounding cannot confuse them.
constexpr Rgb kA { 230, 20, 20 }, kB { 20, 220, 20 }, kC { 20, 20, 230 }, kD { 240, 240, 240 };

// A 64 × 32 picture: A top left, B top right, C bottom left, D bottom right.
Bitmap Quadrants()
{
    Bitmap b = test::SolidBitmap(64, 32, kA);
    FillRect(b, { 32, 0, 64, 16 }, kB);
    FillRect(b, { 0, 16, 32, 32 }, kC);
    FillRect(b, { 32, 16, 64, 32 }, kD);
    return b;
}

bool Near(Rgb a, Rgb b)
{
    return std::abs(a.r - b.r) < 40 && std::abs(a.g - b.g) < 40 && std::abs(a.b - b.b) < 40;
}

std::string EncodedQuadrants()
{
    std::string jpeg;
    EXPECT_TRUE(EncodeJpeg(Quadrants(), { 95, 0 }, jpeg).ok);
    return jpeg;
}

Bitmap Decoded(const std::string& jpeg)
{
    Bitmap b;
    const IoResult r = DecodeJpeg(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), b);
    EXPECT_TRUE(r.ok) << r.message;
    return b;
}

struct OrientationCase {
    int orientation;
    int width, height; // as shown
    Rgb topLeft, topRight, bottomLeft, bottomRight;
};

// How the stored picture [A B / C D] is shown, quadrant by quadrant.
const OrientationCase kOrientations[] = {
    { 1, 64, 32, kA, kB, kC, kD }, { 2, 64, 32, kB, kA, kD, kC }, // mirrored left to right
    { 3, 64, 32, kD, kC, kB, kA }, // half turn
    { 4, 64, 32, kC, kD, kA, kB }, // mirrored top to bottom
    { 5, 32, 64, kA, kC, kB, kD }, // mirrored about the top-left diagonal
    { 6, 32, 64, kC, kA, kD, kB }, // quarter turn clockwise
    { 7, 32, 64, kD, kB, kC, kA }, // mirrored about the other diagonal
    { 8, 32, 64, kB, kD, kA, kC }, // quarter turn anticlockwise
};

TEST(ExifOrientation, AllEightValuesInBothByteOrdersLoadUpright)
{
    const std::string plain = EncodedQuadrants();
    test::ScratchDir dir;
    for (const bool bigEndian : { false, true }) {
        for (const OrientationCase& c : kOrientations) {
            SCOPED_TRACE("orientation " + std::to_string(c.orientation) + (bigEndian ? " MM" : " II"));
            const std::string payload = test::OrientationPayload(c.orientation, bigEndian);
            EXPECT_EQ(ReadExifOrientation(reinterpret_cast<const unsigned char*>(payload.data()), payload.size()),
                c.orientation);
            const std::string jpeg = test::WithApp1(plain, payload);
            const Bitmap shown = Decoded(jpeg);
            ASSERT_EQ(shown.Width(), c.width);
            ASSERT_EQ(shown.Height(), c.height);
            const int w = c.width, h = c.height;
            EXPECT_TRUE(Near(shown.Pixel(w / 4, h / 4), c.topLeft));
            EXPECT_TRUE(Near(shown.Pixel(3 * w / 4, h / 4), c.topRight));
            EXPECT_TRUE(Near(shown.Pixel(w / 4, 3 * h / 4), c.bottomLeft));
            EXPECT_TRUE(Near(shown.Pixel(3 * w / 4, 3 * h / 4), c.bottomRight));

            // Every photo is read by LoadImage (the session's open as well); the square is built from the upright
            // photo.
            const std::string path = dir / ("o" + std::to_string(c.orientation) + ".jpg");
            test::WriteFile(path, jpeg);
            Bitmap photo, square;
            ASSERT_TRUE(LoadImage(path, photo).ok);
            EXPECT_TRUE(photo.SameAs(shown));
            ASSERT_TRUE(BuildSquareBitmap(photo, square));
            // A standing photo leaves black bands left and right, a lying one above and below.
            EXPECT_EQ(square.Pixel(0, 32), h > w ? kBlack : shown.Pixel(0, 16));
            EXPECT_EQ(square.Pixel(32, 0), h > w ? shown.Pixel(16, 0) : kBlack);
        }
    }
}

struct BrokenCase {
    const char* name;
    std::string payload;
};

std::string Cut(const std::string& s, std::size_t n)
{
    return s.substr(0, n);
}

TEST(ExifOrientation, BrokenOrForeignBlocksLoadAsStored)
{
    const std::string good = test::OrientationPayload(6, false);
    std::string badOrder = good, badMagic = good, farDirectory = good, hugeCount = good;
    badOrder[6] = 'I', badOrder[7] = 'M';
    badMagic[8] = 43;
    farDirectory[10] = static_cast<char>(0xF0), farDirectory[13] = static_cast<char>(0x7F);
    hugeCount[14] = static_cast<char>(0xFF), hugeCount[15] = static_cast<char>(0xFF);
    const BrokenCase cases[] = {
        { "Empty", "" },
        { "HeaderOnly", "Exif" },
        { "NotExif", "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>" },
        { "ExifWithoutItsZeros", "Exif" + good.substr(6) },
        { "CutInTheTiffHeader", Cut(good, 10) },
        { "CutBeforeTheOrientation", Cut(good, 6 + 8 + 2 + 12 + 6) },
        { "CutInsideTheOrientation", Cut(good, 6 + 8 + 2 + 12 + 9) },
        { "UnknownByteOrder", badOrder },
        { "Not42", badMagic },
        { "DirectoryOutside", farDirectory },
        { "CountBeyondTheBlock", Cut(hugeCount, 6 + 8 + 2 + 12) },
        { "ValueZero", test::OrientationPayload(0, true) },
        { "ValueNine", test::OrientationPayload(9, false) },
        { "ValueHuge", test::OrientationPayload(0xFFFF, true) },
        { "LongType", test::ExifPayload({ { 0x0112, 4, 1, 6 } }, false) },
        { "TwoValues", test::ExifPayload({ { 0x0112, 3, 2, 6 } }, true) },
        { "NoOrientation", test::ExifPayload({ { 0x010F, 3, 1, 6 } }, false) },
        { "NoEntries", test::ExifPayload({}, true) },
    };
    const std::string plain = EncodedQuadrants();
    const Bitmap stored = Decoded(plain);
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.payload.data());
        EXPECT_EQ(ReadExifOrientation(bytes, c.payload.size()), 0);
        // The same bytes cut anywhere never read outside what they are given (a sanitizer build watches).
        for (std::size_t n = 0; n < c.payload.size(); ++n) {
            const std::string cut = c.payload.substr(0, n);
            const int orientation = ReadExifOrientation(reinterpret_cast<const unsigned char*>(cut.data()), n);
            EXPECT_TRUE(orientation >= 0 && orientation <= 8);
        }
        if (c.payload.empty())
            continue;
        const Bitmap loaded = Decoded(test::WithApp1(plain, c.payload));
        EXPECT_TRUE(loaded.SameAs(stored));
    }
    EXPECT_EQ(ReadExifOrientation(nullptr, 40), 0);

    // An XMP block first does not hide the EXIF block behind it; the first EXIF block is the one that counts.
    const std::string xmp("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41);
    const std::string twice = test::WithApp1(test::WithApp1(plain, test::OrientationPayload(3, true)), good);
    EXPECT_EQ(Decoded(test::WithApp1(test::WithApp1(plain, good), xmp)).Width(), 32);
    EXPECT_EQ(Decoded(twice).Width(), 32);
}

// The turns themselves, bit-exact on an odd-sized random picture that spans several of the copy's tiles: the
// diagonal mirror against its definition, and the other three as that mirror followed by the in-place mirrors.
TEST(ExifOrientation, TurnsAreExactMirrorsAndQuarterTurns)
{
    const Bitmap stored = test::RandomBitmap(131, 67, 11);
    Bitmap transposed = stored;
    ASSERT_TRUE(ApplyExifOrientation(transposed, 5));
    ASSERT_EQ(transposed.Width(), 67);
    ASSERT_EQ(transposed.Height(), 131);
    bool exact = true;
    for (int y = 0; y < 131 && exact; ++y)
        for (int x = 0; x < 67 && exact; ++x)
            exact = transposed.Pixel(x, y) == stored.Pixel(y, x);
    EXPECT_TRUE(exact);

    // 6 = 5 then 2, 7 = 5 then 3, 8 = 5 then 4; 2, 3 and 4 undo themselves.
    for (const auto& [turn, mirror] : { std::pair { 6, 2 }, std::pair { 7, 3 }, std::pair { 8, 4 } }) {
        Bitmap direct = stored, composed = transposed;
        ASSERT_TRUE(ApplyExifOrientation(direct, turn));
        ASSERT_TRUE(ApplyExifOrientation(composed, mirror));
        EXPECT_TRUE(test::SameImage(direct, composed, "orientation" + std::to_string(turn)));
        Bitmap twice = stored;
        ASSERT_TRUE(ApplyExifOrientation(twice, mirror));
        ASSERT_TRUE(ApplyExifOrientation(twice, mirror));
        EXPECT_TRUE(twice.SameAs(stored));
    }
    for (const int ignored : { 0, 1, 9, -6 }) {
        Bitmap same = stored;
        ASSERT_TRUE(ApplyExifOrientation(same, ignored));
        EXPECT_TRUE(same.SameAs(stored));
    }
    Bitmap empty;
    EXPECT_TRUE(ApplyExifOrientation(empty, 6));
    EXPECT_TRUE(empty.Empty());
}

} // namespace
