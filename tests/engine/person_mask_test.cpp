// The person mask's uses, on drawn masks: the head top over a face, the region of one person, somebody else in the
// frame, the plain background without a fringe of the old one, and the picture the model is given.
#include "recognition/person_mask.h"
#include "session/settings.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vellicam::test {
namespace {

// A mask of w × h at `scale` whose values are 255 inside the rectangles given (mask pixels), 0 elsewhere.
PersonMask Drawn(int w, int h, int scale, std::initializer_list<Rect> people)
{
    PersonMask m;
    m.width = w;
    m.height = h;
    m.scale = scale;
    m.values.assign(static_cast<std::size_t>(w * h), 0);
    for (const Rect& r : people)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                m.values[static_cast<std::size_t>(y * w + x)] = 255;
    return m;
}

// Eyes on row 180 at x 80 and 120, chin on row 240 (eye-to-chin 60), in image pixels; mask row 90 at scale 2.
FaceLandmarks Face()
{
    return { 100, 240, 80, 180, 120, 180 };
}

TEST(PersonMaskHeadTop, TheRegionsTopOverTheEyesWhenBelievable)
{
    struct Case {
        const char* what;
        Rect head; // in mask pixels, scale 2
        int expected;
    };
    for (const Case& c : {
             Case { "a head 1.5 eye-to-chin above the eyes", { 30, 45, 70, 150 }, 90 },
             Case { "its top row counts at the mask's scale", { 30, 46, 70, 150 }, 92 },
             Case { "a head cut by the photo's top", { 30, 0, 70, 150 }, -1 },
             Case { "a top too near the eyes to be a head's", { 30, 75, 70, 150 }, -1 },
             Case { "a region far above (an arm raised over the head)", { 30, 5, 70, 150 }, -1 },
             Case { "a region beside the face, not holding the eyes", { 0, 45, 35, 150 }, -1 },
         }) {
        const PersonMask m = Drawn(100, 150, 2, { c.head });
        EXPECT_EQ(HeadTopFromMask(m, Face()), c.expected) << c.what;
    }
    // The highest point between the eyes, not the highest of the region: a raised hand beside the head is left out.
    PersonMask hand = Drawn(100, 150, 2, { { 30, 52, 70, 150 }, { 30, 40, 36, 52 } });
    EXPECT_EQ(HeadTopFromMask(hand, Face()), 104);
    // A gap above the head (a hat held apart from it) ends the run.
    PersonMask hat = Drawn(100, 150, 2, { { 30, 52, 70, 150 }, { 30, 40, 70, 50 } });
    EXPECT_EQ(HeadTopFromMask(hat, Face()), 104);
    // Something touching the crown and rising over a few of the columns between the eyes (a cockpit's canopy behind
    // the head) is not the head; a crown rounded between the eyes still gives its highest point.
    PersonMask canopy = Drawn(100, 150, 2, { { 30, 52, 70, 150 }, { 55, 20, 60, 52 } });
    EXPECT_EQ(HeadTopFromMask(canopy, Face()), 104);
    PersonMask rounded = Drawn(100, 150, 2, { { 30, 52, 70, 150 }, { 44, 49, 56, 52 }, { 48, 48, 52, 49 } });
    EXPECT_EQ(HeadTopFromMask(rounded, Face()), 96);
    // Narrow over most of those columns and still narrow a little below its top (a canopy's edge over the hair, taken
    // for hair): the head's top is where the region widens to a head's.
    PersonMask spike = Drawn(100, 150, 2, { { 30, 52, 70, 150 }, { 44, 40, 56, 52 } });
    EXPECT_EQ(HeadTopFromMask(spike, Face()), 104);
}

// The face's centre column: the eyes' middle averaged with the middle of the face's extent, which on a strongly
// tilted head reaches to the chin beyond the outline's side.
TEST(FaceCentreColumn, EyesAndTheFacesExtentIncludingATiltedHeadsChin)
{
    struct Case {
        FaceLandmarks points;
        int column;
    };
    const auto sides = [](FaceLandmarks p, int l, int r) {
        p.hasSides = true;
        p.leftSideX = l;
        p.rightSideX = r;
        return p;
    };
    const FaceLandmarks upright { 500, 700, 450, 500, 550, 500 };
    const FaceLandmarks tilted { 273, 347, 357, 201, 415, 261 }; // p08: chin far to the left, 45°
    for (const Case& c : { Case { upright, 500 }, // no sides: the eyes' middle
             Case { sides(upright, 380, 640), 505 }, // (500 + 510) / 2
             Case { sides(tilted, 314, 464), 377 }, // extent 273..464: (386 + 368) / 2
             Case { sides(tilted, 200, 464), 359 } }) // the chin within the sides: (386 + 332) / 2
        EXPECT_EQ(FaceCentreColumn(c.points), c.column) << c.points.leftSideX;
}

TEST(PersonMaskRegion, KeepsThePersonAtTheSeedWithItsSoftEdgeAndSeesTheOthers)
{
    // Two people side by side with a soft edge on the first one's right; a third touching the second.
    PersonMask all = Drawn(60, 40, 1, { { 5, 5, 20, 40 }, { 30, 5, 40, 40 }, { 40, 10, 50, 40 } });
    all.values[static_cast<std::size_t>(20 * 60 + 20)] = 100; // the first one's soft edge
    all.values[static_cast<std::size_t>(20 * 60 + 25)] = 100; // a lone soft pixel between them
    PersonMask first = all;
    ASSERT_TRUE(KeepRegionAt(first, 10, 20));
    EXPECT_EQ(first.At(10, 20), 255);
    EXPECT_EQ(first.At(20, 20), 100) << "the soft edge stays with its person";
    EXPECT_EQ(first.At(25, 20), 0) << "soft pixels away from the person go";
    EXPECT_EQ(first.At(35, 20), 0) << "the neighbour is removed whole";
    PersonMask untouched = all;
    EXPECT_FALSE(KeepRegionAt(untouched, 25, 2)) << "no person at the seed";
    EXPECT_EQ(untouched.values, all.values);

    PersonMask pair = all;
    ASSERT_TRUE(KeepRegionAt(pair, 35, 20));
    EXPECT_EQ(pair.At(45, 20), 255) << "people who touch are one region, kept whole";

    // Arms joined only at the bottom or only at the top: the region goes down and comes back up to the other arm.
    // Soft pixels two to the side of the region are its edge, three away are not.
    for (const bool joinedBelow : { true, false }) {
        PersonMask arms = Drawn(40, 40, 1,
            { { 5, 5, 10, 35 }, { 25, 5, 30, 35 }, joinedBelow ? Rect { 5, 30, 30, 35 } : Rect { 5, 5, 30, 10 } });
        arms.values[static_cast<std::size_t>(20 * 40 + 3)] = 100;
        arms.values[static_cast<std::size_t>(20 * 40 + 32)] = 100;
        arms.values[static_cast<std::size_t>(20 * 40 + 17)] = 255; // an island between the arms
        ASSERT_TRUE(KeepRegionAt(arms, 7, joinedBelow ? 6 : 33)) << joinedBelow;
        EXPECT_EQ(arms.At(27, joinedBelow ? 6 : 33), 255) << "the other arm's far end, " << joinedBelow;
        EXPECT_EQ(arms.At(3, 20), 100) << "soft, two pixels beside, " << joinedBelow;
        EXPECT_EQ(arms.At(32, 20), 0) << "soft, three pixels beside, " << joinedBelow;
        EXPECT_EQ(arms.At(17, 20), 0) << "the island, " << joinedBelow;
    }

    struct Case {
        const char* what;
        Rect frame;
        std::vector<ImagePoint> otherFaces;
        bool expected;
    };
    for (const Case& c : {
             Case { "the frame holds only the first", { 0, 0, 24, 40 }, {}, false },
             Case { "the neighbour reaches into the frame", { 0, 0, 36, 40 }, {}, true },
             Case { "a sliver under 2 % of the frame is not a person", { 0, 0, 31, 12 }, {}, false },
             Case { "a second confirmed face inside the region", { 0, 0, 24, 40 }, { { 12, 8 } }, true },
             Case { "a second face elsewhere does not count by itself", { 0, 0, 24, 40 }, { { 45, 8 } }, false },
         })
        EXPECT_EQ(OtherPersonInFrame(all, first, c.frame, c.otherFaces), c.expected) << c.what;
}

// A neighbour merged into the person's region shows beside the head, above the eyes, coming in from a side of the
// frame and parted from the head by a dip; a raised hand does not reach the frame's side, hair falls from the
// crown without a dip, and shoulders stay below the eyes.
TEST(PersonMaskRegion, ANeighbourMergedIntoThePersonIsToldFromHandsAndHair)
{
    // Scale 2: the face's sides at x 70 and 130 (half width 30, the head's reach 54 either side of x 100); eyes on
    // image row 180 (mask row 90). The frame spans mask columns 10..89.
    FaceLandmarks face = Face();
    face.hasSides = true;
    face.leftSideX = 70;
    face.leftSideY = 180;
    face.rightSideX = 130;
    face.rightSideY = 180;
    const Rect frame { 20, 0, 180, 300 };
    const Rect person { 35, 45, 65, 150 }, shoulders { 10, 100, 90, 150 };
    struct Case {
        const char* what;
        std::vector<Rect> parts;
        bool expected;
    };
    for (const Case& c : {
             Case { "the person alone, shoulders below the eyes", { person, shoulders }, false },
             Case { "a neighbour's head at the frame's side", { person, shoulders, { 0, 40, 14, 150 } }, true },
             Case { "a raised hand clear of the frame's side", { person, shoulders, { 20, 50, 26, 100 } }, false },
             Case { "wide hair within the head's reach", { person, shoulders, { 25, 50, 75, 100 } }, false },
             Case { "a sliver at the side under three columns", { person, shoulders, { 10, 60, 12, 100 } }, false },
             Case { "long hair falling from the crown to the frame's side", { person, shoulders, { 10, 60, 35, 150 } },
                 false },
             Case { "a neighbour's head just clear of the side, a dip between",
                 { person, shoulders, { 12, 50, 20, 150 } }, true },
         }) {
        std::vector<Rect> parts = c.parts;
        PersonMask region = Drawn(100, 150, 2, {});
        for (const Rect& r : parts)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    region.values[static_cast<std::size_t>(y * 100 + x)] = 255;
        EXPECT_EQ(NeighbourMergedInRegion(region, face, frame), c.expected) << c.what;
    }
    PersonMask neighbour = Drawn(100, 150, 2, { person, shoulders, { 0, 40, 14, 150 } });
    EXPECT_FALSE(NeighbourMergedInRegion(neighbour, Face(), frame)) << "without the face's sides nothing is said";
}

TEST(PlainBackground, ReplacedWhereTheMaskIsLowUntouchedWhereHighAndNoFringeBetween)
{
    // A person of one colour on a coloured background, with a soft edge: α ramps from 0 to 255 over columns
    // 16..31 of the mask (scale 1), and the picture is the true mix of the two colours there.
    const Rgb person { 60, 40, 30 }, old { 40, 200, 60 }, plain = kBackgroundLightBlue;
    const int w = 48, h = 24;
    PersonMask m = Drawn(w, h, 1, { { 32, 0, w, h } });
    Bitmap image = SolidBitmap(w, h, old);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int a = x < 16 ? 0 : x >= 32 ? 255 : (x - 16) * 17;
            m.values[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(a);
            const auto mix
                = [a](int f, int b) { return static_cast<std::uint8_t>((a * f + (255 - a) * b + 127) / 255); };
            image.SetPixel(x, y, { mix(person.r, old.r), mix(person.g, old.g), mix(person.b, old.b) });
        }
    // Texture in the sure background must not come through either.
    image.SetPixel(3, 3, { 255, 0, 255 });
    const Bitmap before = image;
    ASSERT_TRUE(ReplaceBackground(image, m, plain));
    for (int x = 0; x < w; ++x) {
        const Rgb got = image.Pixel(x, 12);
        const int a = m.values[static_cast<std::size_t>(12 * w + x)];
        const auto mix = [a](int f, int b) { return (a * f + (255 - a) * b + 127) / 255; };
        EXPECT_NEAR(got.r, mix(person.r, plain.r), 3) << x;
        EXPECT_NEAR(got.g, mix(person.g, plain.g), 3) << x << ": the old green must not show in the edge";
        EXPECT_NEAR(got.b, mix(person.b, plain.b), 3) << x;
        if (a == 255) {
            EXPECT_EQ(got, before.Pixel(x, 12)) << x;
        }
    }
    EXPECT_EQ(image.Pixel(3, 3), plain);

    Bitmap empty;
    EXPECT_FALSE(ReplaceBackground(empty, m, plain));
    PersonMask broken = m;
    broken.values.pop_back();
    EXPECT_FALSE(ReplaceBackground(image, broken, plain));
}

TEST(PersonMaskPicture, ReducedAndCutToThePhotoInsideItsBlackSquare)
{
    // A 300 × 200 photo centred in a 300 × 300 square: rows 50..249 are the photo.
    Bitmap square = SolidBitmap(300, 300, kBlack);
    FillRect(square, { 0, 50, 300, 250 }, { 120, 130, 140 });
    MaskPicture p;
    ASSERT_TRUE(MakeMaskPicture(square, 100, p));
    EXPECT_EQ(p.scale, 3);
    EXPECT_EQ(p.top, 48) << "the block holding row 50 begins at row 48";
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.picture.Width(), 100);
    EXPECT_EQ(p.picture.Height(), 68);
    EXPECT_EQ(p.picture.Pixel(50, 34), (Rgb { 120, 130, 140 }));
    EXPECT_FALSE(MakeMaskPicture(SolidBitmap(50, 50, kBlack), 100, p)) << "nothing to segment";
    EXPECT_FALSE(MakeMaskPicture(Bitmap(), 100, p));
}

TEST(BackgroundColour, NamedOrHexadecimal)
{
    struct Case {
        const char* text;
        bool ok;
        Rgb colour;
    };
    for (const Case& c : {
             Case { "white", true, kBackgroundWhite },
             Case { "blue", true, { 0xD8, 0xE8, 0xF8 } },
             Case { "grey", true, kBackgroundLightGrey },
             Case { "gray", true, kBackgroundLightGrey },
             Case { "a0B1c2", true, { 0xA0, 0xB1, 0xC2 } },
             Case { "#a0b1c2", false, kBlack },
             Case { "a0b1c", false, kBlack },
             Case { "a0b1cg", false, kBlack },
             Case { "White", false, kBlack },
             Case { "", false, kBlack },
         }) {
        Rgb colour = kBlack;
        EXPECT_EQ(ParseBackgroundColour(c.text, colour), c.ok) << c.text;
        EXPECT_EQ(colour, c.colour) << c.text;
    }
}

} // namespace
} // namespace vellicam::test
