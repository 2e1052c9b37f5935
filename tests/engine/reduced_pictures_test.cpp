// The detector's copy and the person mask's picture from one pass over the photo's area of the square, against each
// made apart over the whole square.
#include "recognition/reduced_pictures.h"

#include "image/image_io.h"
#include "image/photo.h"
#include "resample/rotate.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>
#include <tuple>
#include <utility>

namespace vellicam::test {
namespace {

// A real portrait enlarged to sizes no block factor divides, upright or lying on its side.
Bitmap EnlargedPortrait(int width, int height)
{
    Bitmap photo, large;
    EXPECT_TRUE(LoadJpeg((DataDir() / "devset" / "p01_uniform_cap.jpg").string(), photo));
    EXPECT_TRUE(large.ResizeUninitialized(width, height));
    StretchDraw(photo, large);
    return large;
}

void ExpectSamePictures(const Bitmap& square, const Rect& area, int threads = 1)
{
    const int factor = DetectorImageFactor(square.Width(), square.Height());
    GreyImage expectedGrey, grey;
    MaskPicture expectedMask, mask;
    ASSERT_TRUE(MakeDetectorImage(square, factor, expectedGrey));
    ASSERT_TRUE(MakeMaskPicture(square, kPersonMaskLongSide, expectedMask));
    ASSERT_EQ(MakeReducedPictures(square, area, factor, grey, &mask, threads), "");
    EXPECT_EQ(grey.width, expectedGrey.width);
    EXPECT_EQ(grey.height, expectedGrey.height);
    EXPECT_TRUE(grey.pixels == expectedGrey.pixels) << "the detector's copy differs";
    EXPECT_TRUE(SameImage(mask.picture, expectedMask.picture, "mask picture"));
    EXPECT_EQ(mask.scale, expectedMask.scale);
    EXPECT_EQ(mask.left, expectedMask.left);
    EXPECT_EQ(mask.top, expectedMask.top);
}

TEST(ReducedPictures, OnePassOverThePhotosAreaGivesBothPicturesAsMadeApart)
{
    struct Case {
        int width, height, angle;
        bool blackBandsLeft; // the turned photo leaves whole rows or columns of the square black
    };
    for (const Case& c : { Case { 2303, 2699, 0, true }, Case { 2699, 2303, 0, true }, Case { 2303, 2699, 125, false },
             Case { 2699, 2303, -37, true }, Case { 2303, 2699, 900, true }, Case { 2699, 2303, 3450, false } }) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.angle);
        const Bitmap photo = EnlargedPortrait(c.width, c.height);
        Bitmap square;
        Rect area;
        if (c.angle == 0) {
            ASSERT_TRUE(BuildSquareBitmap(photo, square));
            const int side = square.Width();
            const int left = c.width < c.height ? (side - c.width) / 2 : 0;
            const int top = c.width < c.height ? 0 : (side - c.height) / 2;
            area = { left, top, left + c.width, top + c.height };
        } else {
            ASSERT_EQ(BuildRotatedSquare(photo, c.angle, square), 0);
            area = TurnedPhotoArea(c.width, c.height, c.angle);
            // The turned photo's area holds every pixel that is not black.
            int outside = 0;
            for (int y = 0; y < square.Height(); ++y)
                for (int x = 0; x < square.Width(); ++x)
                    if ((x < area.left || x >= area.right || y < area.top || y >= area.bottom)
                        && square.Pixel(x, y) != kBlack)
                        ++outside;
            EXPECT_EQ(outside, 0);
            EXPECT_EQ(area.Width() < square.Width() || area.Height() < square.Height(), c.blackBandsLeft)
                << "the black bands are left unread";
        }
        ExpectSamePictures(square, area);
        ExpectSamePictures(square, area, 2); // in bands on two threads
        if (c.angle == 0)
            ExpectSamePictures(square, {}); // no area given: the whole square
    }

    // An all-black square: a black copy and no picture for the mask.
    const Bitmap black = SolidBitmap(1500, 1500, kBlack);
    GreyImage grey;
    MaskPicture mask;
    ASSERT_EQ(MakeReducedPictures(black, { 100, 0, 1400, 1500 }, 2, grey, &mask), "");
    EXPECT_EQ(grey.pixels, std::vector<std::uint8_t>(750 * 750, 0));
    EXPECT_TRUE(mask.picture.Empty());
    EXPECT_NE(MakeReducedPictures(Bitmap(), {}, 2, grey, &mask), "");
    EXPECT_NE(MakeReducedPictures(black, {}, 0, grey, nullptr), "");
}

// As an open makes them: a thread of their own reduces the rows the decoder has written into the square, for the
// recognition and for the view.
TEST(ReducedPictures, PicturesMadeWhileDecodingAreThoseOfTheFinishedSquare)
{
    ScratchDir dir;
    // On two threads a second decoder writes the lower rows and reduces them itself.
    for (const auto& [width, height, threads] : { std::tuple { 2303, 2699, 1 }, std::tuple { 2699, 2303, 2 } }) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " on " << threads);
        const std::string path = (dir.Path() / "photo.jpg").string();
        ASSERT_TRUE(SaveJpeg(path, EnlargedPortrait(width, height), { 90, 0 }));
        Bitmap square;
        Rect area;
        PicturesWhileDecoding whileDecoding;
        ReductionFollowingRows view;
        const PhotoPlacement place = [&](int w, int h, int& left, int& top) -> Bitmap* {
            if (!PrepareSquareFor(w, h, square, left, top))
                return nullptr;
            area = { left, top, left + w, top + h };
            EXPECT_TRUE(view.Prepare(square, area, area.Height() * 701 / area.Width(), 701));
            EXPECT_TRUE(whileDecoding.Start(square, area, DetectorImageFactor(square.Width(), square.Height()), &view));
            return &square;
        };
        std::mutex lock;
        std::set<std::thread::id> decoders;
        int calls = 0;
        const RowsPlaced rows = [&](int from, int to) {
            {
                const std::lock_guard guard(lock);
                ++calls;
                decoders.insert(std::this_thread::get_id());
            }
            whileDecoding.RowsWritten(area.top + from, area.top + to);
        };
        ASSERT_TRUE(LoadImageInto(path, place, {}, rows, threads));
        EXPECT_GT(calls, 10) << "the rows come as they are decoded";
        EXPECT_EQ(decoders.size(), static_cast<std::size_t>(threads));
        Bitmap decoded;
        ASSERT_TRUE(LoadJpeg(path, decoded));
        Bitmap placedPart;
        ASSERT_TRUE(placedPart.ResizeUninitialized(area.Width(), area.Height()));
        CopyRect(square, area, placedPart, 0, 0);
        EXPECT_TRUE(SameImage(placedPart, decoded, "decoded photo"));
        whileDecoding.RowsWritten(area.top, area.bottom);
        ReducedPictures made;
        ASSERT_TRUE(whileDecoding.Finish(made));

        const int factor = DetectorImageFactor(square.Width(), square.Height());
        GreyImage grey;
        MaskPicture mask;
        ASSERT_EQ(MakeReducedPictures(square, area, factor, grey, &mask), "");
        EXPECT_TRUE(made.grey.pixels == grey.pixels) << "the detector's copy differs";
        EXPECT_TRUE(SameImage(made.mask.picture, mask.picture, "mask picture"));
        EXPECT_EQ(made.mask.left, mask.left);
        EXPECT_EQ(made.mask.top, mask.top);
        EXPECT_TRUE(made.MadeFor(square, area, factor));
        EXPECT_FALSE(made.MadeFor(square, area, factor + 1));
        EXPECT_FALSE(made.MadeFor(square, { area.left, area.top + 1, area.right, area.bottom }, factor));

        ASSERT_TRUE(view.Done());
        const Bitmap followed = view.Take();
        Bitmap fitted;
        ASSERT_EQ(ReduceHighQualityRegion(square, area, followed.Height(), followed.Width(), fitted), kReduced);
        EXPECT_TRUE(SameImage(followed, fitted, "view"));
    }

    // Rows that never all come (a decoding that failed half-way), and work dropped while it waits: no pictures, no
    // wait without end.
    const Bitmap square = SolidBitmap(1200, 1200, Rgb { 90, 120, 150 });
    PicturesWhileDecoding halfWay;
    ASSERT_TRUE(halfWay.Start(square, { 0, 100, 1200, 1100 }, 1));
    halfWay.RowsWritten(100, 600);
    ReducedPictures none;
    EXPECT_FALSE(halfWay.Finish(none));
    EXPECT_TRUE(none.grey.pixels.empty());
    EXPECT_FALSE(halfWay.Finish(none)) << "finished already";
    {
        PicturesWhileDecoding dropped;
        ASSERT_TRUE(dropped.Start(square, { 0, 100, 1200, 1100 }, 1));
        dropped.RowsWritten(100, 300);
    }
}

} // namespace
} // namespace vellicam::test
