// Where the full-screen window goes and which part of it is the primary monitor, for
// monitor layouts this machine cannot show.
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "support/ScreenArea.h"

namespace {

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual)
{
    if (::EqualRect(&expected, &actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "expected " << expected.left << "," << expected.top << "," << expected.right << ","
           << expected.bottom << " got " << actual.left << "," << actual.top << "," << actual.right
           << "," << actual.bottom;
}

// A 1024 x 768 primary monitor with a second one in several places.
const ScreenMetrics kOneMonitor = { 0, 0, 1024, 768, 1024, 768 };
const ScreenMetrics kSecondOnTheRight = { 0, 0, 1824, 768, 1024, 768 };
const ScreenMetrics kSecondLeftAndHigher = { -800, -200, 1824, 968, 1024, 768 };
// Windows 95 and NT 4 know no virtual-screen metrics and answer 0.
const ScreenMetrics kNoVirtualScreen = { 0, 0, 0, 0, 1024, 768 };
const ScreenMetrics kNoVirtualHeight = { 0, 0, 1824, 0, 1024, 768 };

}  // namespace

TEST(ScreenArea, FullScreenWindowCoversEveryMonitor)
{
    const struct {
        const char* layout;
        ScreenMetrics metrics;
        RECT window;
    } cases[] = {
        { "one monitor", kOneMonitor, { 0, 0, 1024, 768 } },
        { "second on the right", kSecondOnTheRight, { 0, 0, 1824, 768 } },
        { "second left and higher", kSecondLeftAndHigher, { -800, -200, 1024, 768 } },
        { "no virtual screen", kNoVirtualScreen, { 0, 0, 1024, 768 } },
        { "virtual height 0", kNoVirtualHeight, { 0, 0, 1024, 768 } },
    };
    for (const auto& c : cases)
        EXPECT_TRUE(SameRect(c.window, FullScreenRect(c.metrics))) << c.layout;
}

TEST(ScreenArea, EachMonitorIsAViewAreaOfTheFullScreenWindowAndThePreviewIsItsOwn)
{
    const MonitorList one = { 1, { { 0, 0, 1024, 768 } } };
    const MonitorList sideBySide = { 2, { { 0, 0, 1024, 768 }, { 1024, 0, 1824, 600 } } };
    const MonitorList stacked = { 2, { { 0, 0, 1024, 768 }, { 0, 768, 1280, 1792 } } };
    const MonitorList leftAndHigher = { 2, { { 0, 0, 1024, 768 }, { -800, -200, 0, 400 } } };
    const MonitorList none = { 0, {} };  // Windows 95 and NT 4: no monitor functions
    const ScreenMetrics stackedMetrics = { 0, 0, 1280, 1792, 1024, 768 };
    const struct {
        const char* layout;
        ScreenMetrics metrics;
        MonitorList monitors;
        bool perMonitor;
        RECT clientOnScreen;
        int count;
        RECT areas[2];
    } cases[] = {
        { "one monitor", kOneMonitor, one, true, { 0, 0, 1024, 768 }, 1, { { 0, 0, 1024, 768 } } },
        { "side by side, different sizes", kSecondOnTheRight, sideBySide, true, { 0, 0, 1824, 768 }, 2,
          { { 0, 0, 1024, 768 }, { 1024, 0, 1824, 600 } } },
        { "stacked", stackedMetrics, stacked, true, { 0, 0, 1280, 1792 }, 2,
          { { 0, 0, 1024, 768 }, { 0, 768, 1280, 1792 } } },
        { "negative origin", kSecondLeftAndHigher, leftAndHigher, true, { -800, -200, 1024, 768 }, 2,
          { { 0, 0, 1024, 768 }, { -800, -200, 0, 400 } } },
        { "no monitor functions", kSecondOnTheRight, none, true, { 0, 0, 1824, 768 }, 1, { { 0, 0, 1024, 768 } } },
        // A preview inside Display Properties: its own window, wherever the dialog is.
        { "preview", kSecondOnTheRight, sideBySide, false, { 300, 200, 452, 312 }, 1, { { 300, 200, 452, 312 } } },
        { "preview on the second monitor", kSecondOnTheRight, sideBySide, false, { 1100, 100, 1252, 212 }, 1,
          { { 1100, 100, 1252, 212 } } },
        { "preview across the edge", kSecondOnTheRight, sideBySide, false, { 950, 100, 1102, 212 }, 1,
          { { 950, 100, 1102, 212 } } },
        { "preview left of the primary", kSecondLeftAndHigher, leftAndHigher, false, { -400, -100, -248, 12 }, 1,
          { { -400, -100, -248, 12 } } },
        { "window across the edge", kSecondOnTheRight, sideBySide, true, { 900, 500, 1100, 800 }, 2,
          { { 900, 500, 1024, 768 }, { 1024, 500, 1100, 600 } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        RECT areas[kMaxMonitors];
        const int count = ViewAreas(c.clientOnScreen, c.perMonitor, c.metrics, c.monitors, areas, kMaxMonitors);
        ASSERT_EQ(c.count, count);
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(SameRect(c.areas[i], areas[i])) << "area " << i;
    }
}

// Each monitor is its whole rectangle, the taskbar's part too: a full-screen saver covers
// it (Wine, without a taskbar, gives work areas as large as the monitors).
TEST(ScreenArea, MonitorsAreTheirWholeRectanglesNotTheirWorkAreas)
{
    StandInMonitors monitors({ { 0, 0, 1024, 768 }, { -800, -200, 0, 400 } });
    ASSERT_TRUE(monitors.Active());
    MonitorList list = GetMonitors();
    ASSERT_EQ(2, list.count);
    EXPECT_TRUE(SameRect({ 0, 0, 1024, 768 }, list.rects[0]));
    EXPECT_TRUE(SameRect({ -800, -200, 0, 400 }, list.rects[1]));
}
