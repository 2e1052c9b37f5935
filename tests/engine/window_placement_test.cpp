// Where the preview window opens beside the main window: right, else left, else nowhere (left where it is).
#include "geometry/window_placement.h"

#include <gtest/gtest.h>

namespace vellicam {
namespace {

struct Placement {
    const char* name;
    Rect owner;
    int width, height;
    Rect screen;
    std::optional<ScreenPoint> expected;
};

class PlaceBesideTest : public testing::TestWithParam<Placement> { };

TEST_P(PlaceBesideTest, PutsTheWindowWhereTheScreenHasRoom)
{
    const Placement& p = GetParam();
    EXPECT_EQ(PlaceBeside(p.owner, p.width, p.height, p.screen, 8), p.expected);
}

const Rect kWide { 0, 0, 2200, 1400 };

INSTANTIATE_TEST_SUITE_P(Cases, PlaceBesideTest,
    testing::Values(Placement { "right", { 100, 50, 1124, 805 }, 566, 750, kWide, ScreenPoint { 1132, 50 } },
        Placement { "rightExactlyFits", { 100, 50, 1124, 805 }, 1068, 750, kWide, ScreenPoint { 1132, 50 } },
        Placement { "leftWhenRightIsShort", { 1000, 50, 2024, 805 }, 566, 750, kWide, ScreenPoint { 426, 50 } },
        Placement { "leftExactlyFits", { 574, 50, 1700, 805 }, 566, 750, kWide, ScreenPoint { 0, 50 } },
        Placement { "neitherSide", { 400, 50, 1424, 805 }, 566, 750, { 0, 0, 1920, 1080 }, std::nullopt },
        Placement {
            "screenOffsetRight", { 2000, 10, 3024, 765 }, 566, 750, { 1920, 0, 4480, 1440 }, ScreenPoint { 3032, 10 } },
        Placement { "movedUpToStayOnScreen", { 100, 900, 1124, 1655 }, 566, 750, { 0, 0, 2200, 1400 },
            ScreenPoint { 1132, 650 } },
        Placement {
            "neverAboveTheTop", { 100, -40, 1124, 715 }, 566, 750, { 0, 24, 2200, 1400 }, ScreenPoint { 1132, 24 } },
        Placement { "tallerThanTheScreen", { 0, 0, 1024, 755 }, 566, 1500, kWide, std::nullopt },
        Placement { "emptySize", { 100, 50, 1124, 805 }, 0, 750, kWide, std::nullopt },
        Placement { "farOffOwnerDoesNotWrap", { 2147483000, 0, 2147483600, 700 }, 566, 750, kWide, std::nullopt }),
    [](const testing::TestParamInfo<Placement>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vellicam
