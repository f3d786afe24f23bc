#include "display/WindowPlacement.h"
#include "support/NamedRows.h"

#include <gtest/gtest.h>

namespace {

const QSize kWindow(174, 123);
// A laptop (a panel along its top) and an external monitor to its right.
const ScreenArea kLaptop { QRect(0, 0, 1280, 800), QRect(0, 32, 1280, 768) };
const ScreenArea kMonitor { QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1080) };

struct ReachRow {
    const char* name;
    bool twoScreens;
    QPoint stored;
    QPoint placed;
};

using ::PrintTo;

class WindowPlacementReach : public ::testing::TestWithParam<ReachRow> { };

TEST_P(WindowPlacementReach, TheWindowEndsWithAGrabbablePartOnAScreen)
{
    const ReachRow& row = GetParam();
    const CWindowPlacement placement(
        row.twoScreens ? std::vector { kLaptop, kMonitor } : std::vector { kLaptop });
    const QPoint placed = placement.KeepReachable(QRect(row.stored, kWindow));
    EXPECT_EQ(placed, row.placed) << placed.x() << "," << placed.y();
    EXPECT_TRUE(placement.Reachable(QRect(placed, kWindow)));
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowPlacementReach,
    ::testing::Values(
        ReachRow { "missing_the_top_goes_below_the_panel", false, { 100, -200 }, { 100, 32 } },
        ReachRow { "far_off_both_ways", false, { 100000, -100000 }, { 1106, 32 } },
        ReachRow { "a_grabbable_part_on_the_right_stays", false, { 1256, 100 }, { 1256, 100 } },
        ReachRow { "on_the_monitor_stays", true, { 2000, 500 }, { 2000, 500 } },
        ReachRow { "monitor_unplugged", false, { 2000, 500 }, { 1106, 500 } },
        ReachRow { "across_both_screens_stays", true, { 1200, 100 }, { 1200, 100 } },
        ReachRow { "below_the_laptop_beside_the_monitor", true, { 100, 900 }, { 100, 677 } },
        ReachRow { "right_of_the_monitor", true, { 3200, 500 }, { 3026, 500 } }),
    RowName);

TEST(WindowPlacement, DevicePixelsNameTheSamePlaceAtEveryRatio)
{
    // The same two screens at device pixel ratio 2: Qt keeps each screen's top-left corner
    // and halves its size.
    const CWindowPlacement twice({ { QRect(0, 0, 640, 400), QRect(0, 16, 640, 384), 2.0 },
        { QRect(1280, 0, 960, 540), QRect(1280, 0, 960, 540), 2.0 } });
    // Saved at ratio 1 on the right half of the monitor, and on the laptop.
    EXPECT_EQ(twice.FromDevice({ 2000, 500 }), QPoint(1640, 250));
    EXPECT_EQ(twice.FromDevice({ 1100, 100 }), QPoint(550, 50));
    EXPECT_EQ(
        twice.ToDevice(QRect(QPoint(1640, 250), kWindow)), QRect(QPoint(2000, 500), kWindow * 2));
    // At ratio 1.5 a place comes back to the pixel it was saved at.
    const CWindowPlacement half({ { QRect(0, 0, 1280, 720), QRect(0, 0, 1280, 720), 1.5 } });
    const QPoint logical = half.FromDevice({ 1500, 300 });
    EXPECT_EQ(half.ToDevice(QRect(logical, kWindow)).topLeft(), QPoint(1500, 300));
}

struct DialogRow {
    const char* name;
    QRect screen;
    QSize dialog;
    QRect trafficWindow;
    QPoint placed;
};

class WindowPlacementDialog : public ::testing::TestWithParam<DialogRow> { };

TEST_P(WindowPlacementDialog, OpensWhereTheTrafficWindowLeavesItInSight)
{
    const DialogRow& row = GetParam();
    const CWindowPlacement placement({ { row.screen, row.screen } });
    const QRect placed = placement.Beside(row.dialog, row.screen.center(), row.trafficWindow);
    EXPECT_EQ(placed.topLeft(), row.placed) << placed.x() << "," << placed.y();
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowPlacementDialog,
    ::testing::Values(DialogRow { "window_elsewhere_centred", { 0, 0, 1024, 768 }, { 370, 300 },
                          { 850, 322, 174, 123 }, { 327, 234 } },
        DialogRow { "window_in_the_middle_goes_right", { 0, 0, 1024, 768 }, { 370, 300 },
            { 425, 322, 174, 123 }, { 599, 234 } },
        DialogRow { "no_room_on_the_right_goes_left", { 0, 0, 1024, 768 }, { 370, 300 },
            { 600, 322, 174, 123 }, { 230, 234 } },
        DialogRow { "larger_than_the_screen_keeps_its_top_left", { 0, 0, 320, 200 }, { 368, 301 },
            {}, { 0, 0 } }),
    RowName);

} // namespace
