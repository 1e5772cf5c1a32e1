// Where the full-screen window goes and which part of it is the primary monitor, for
// monitor layouts this machine cannot show.
#include <gtest/gtest.h>

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

TEST(ScreenArea, PictureAndTextStayOnThePrimaryMonitor)
{
    const struct {
        const char* layout;
        ScreenMetrics metrics;
        RECT clientOnScreen;
        RECT primaryPart;  // client coordinates
    } cases[] = {
        // The full-screen window: the primary monitor's place inside it.
        { "one monitor", kOneMonitor, { 0, 0, 1024, 768 }, { 0, 0, 1024, 768 } },
        { "second on the right", kSecondOnTheRight, { 0, 0, 1824, 768 }, { 0, 0, 1024, 768 } },
        { "second left and higher", kSecondLeftAndHigher, { -800, -200, 1024, 768 },
          { 800, 200, 1824, 968 } },
        // A preview inside Display Properties on the primary monitor: all of it.
        { "preview", kSecondOnTheRight, { 300, 200, 452, 312 }, { 0, 0, 152, 112 } },
        // A preview on the second monitor keeps its whole area rather than none.
        { "preview on the second monitor", kSecondOnTheRight, { 1100, 100, 1252, 212 },
          { 0, 0, 152, 112 } },
        // Partly off the primary monitor: only the part on it.
        { "window across the edge", kSecondOnTheRight, { 900, 700, 1100, 800 }, { 0, 0, 124, 68 } },
    };
    for (const auto& c : cases)
        EXPECT_TRUE(SameRect(c.primaryPart, PrimaryPartOfClient(c.clientOnScreen, c.metrics))) << c.layout;
}
