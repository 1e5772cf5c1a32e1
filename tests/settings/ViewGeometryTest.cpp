// Where a frame goes: the view size option, the view area and the clip's size.
#include <gtest/gtest.h>

#include <string>

#include "settings/SettingsDlg.h"

namespace {

struct Row {
    const char* what;
    RECT area;
    RECT clip;  // only its size counts
    int option;
    UINT customWidth, customHeight;
    RECT placed;
};

std::string Text(const RECT& rc)
{
    return "(" + std::to_string(rc.left) + ", " + std::to_string(rc.top) + ", " + std::to_string(rc.right) +
           ", " + std::to_string(rc.bottom) + ")";
}

void ExpectPlaced(const Row& row)
{
    SCOPED_TRACE(row.what);
    CSettingsDlg s;
    s.m_nViewSizeOption = row.option;
    s.m_nCustomWidth = row.customWidth;
    s.m_nCustomHeight = row.customHeight;
    RECT rc = row.clip;
    s.CalcViewRect(row.area, &rc);
    EXPECT_TRUE(EqualRect(&rc, &row.placed)) << "placed " << Text(rc) << ", expected " << Text(row.placed);
}

const RECT k1024x768 = { 0, 0, 1024, 768 };
const RECT kPreview = { 0, 0, 152, 112 };
const RECT k320x240 = { 0, 0, 320, 240 };

}  // namespace

TEST(ViewGeometry, PlacesTheTableOfKnownCases)
{
    const Row rows[] = {
        { "original, smaller clip centred", k1024x768, k320x240, 1, 0, 0, { 352, 264, 672, 504 } },
        { "full screen, same shape", k1024x768, k320x240, 2, 0, 0, { 0, 0, 1024, 768 } },
        { "16:9 on 4:3: 1365 x 768 shrunk to 1024 x 576", k1024x768, k320x240, 3, 0, 0, { 0, 96, 1024, 672 } },
        { "custom", k1024x768, k320x240, 0, 800, 600, { 112, 84, 912, 684 } },
        { "unknown option is custom", k1024x768, k320x240, 7, 800, 600, { 112, 84, 912, 684 } },
        { "negative option is custom", k1024x768, k320x240, -1, 800, 600, { 112, 84, 912, 684 } },
        { "custom wider than the area", k1024x768, k320x240, 0, 2000, 1000, { 0, 128, 1024, 640 } },
        { "original, larger clip shrunk", k1024x768, { 0, 0, 1920, 1080 }, 1, 0, 0, { 0, 96, 1024, 672 } },
        { "full screen, wider clip", { 0, 0, 1280, 1024 }, { 0, 0, 640, 360 }, 2, 0, 0, { 0, 152, 1280, 872 } },
        { "16:9 on 16:10", { 0, 0, 1280, 800 }, { 0, 0, 640, 480 }, 3, 0, 0, { 0, 40, 1280, 760 } },
        { "full screen, narrower clip", { 0, 0, 1280, 720 }, { 0, 0, 640, 480 }, 2, 0, 0, { 160, 0, 1120, 720 } },
        { "preview, original", kPreview, k320x240, 1, 0, 0, { 1, 0, 150, 112 } },
        { "preview, 16:9", kPreview, k320x240, 3, 0, 0, { 0, 13, 152, 98 } },
        { "preview, full screen", kPreview, k320x240, 2, 0, 0, { 1, 0, 150, 112 } },
        { "16:9 on a 16:9 area stays whole", { 0, 0, 1280, 720 }, { 0, 0, 640, 480 }, 3, 0, 0, { 0, 0, 1280, 720 } },
        { "16:9 with a wide clip", k1024x768, { 0, 0, 1920, 800 }, 3, 0, 0, { 0, 96, 1024, 672 } },
    };
    for (const Row& row : rows)
        ExpectPlaced(row);
}

TEST(ViewGeometry, FollowsTheAreaWhereverItLies)
{
    const Row rows[] = {
        { "area away from the origin", { 100, 50, 1124, 818 }, k320x240, 3, 0, 0, { 100, 146, 1124, 722 } },
        { "area left of the primary screen", { -1024, -10, 0, 758 }, k320x240, 1, 0, 0, { -672, 254, -352, 494 } },
        { "preview inside a window", { 300, 200, 452, 312 }, k320x240, 1, 0, 0, { 301, 200, 450, 312 } },
        { "clip rectangle not at the origin", k1024x768, { 10, 20, 330, 260 }, 1, 0, 0, { 352, 264, 672, 504 } },
    };
    for (const Row& row : rows)
        ExpectPlaced(row);
}

TEST(ViewGeometry, DegenerateSizesStayInsideTheArea)
{
    const Row rows[] = {
        { "custom width 0", k1024x768, k320x240, 0, 0, 600, { 512, 84, 512, 684 } },
        { "custom height 0", k1024x768, k320x240, 0, 800, 0, { 112, 384, 912, 384 } },
        { "custom 0 x 0", k1024x768, k320x240, 0, 0, 0, { 512, 384, 512, 384 } },
        { "custom taller than the area", k1024x768, k320x240, 0, 1000, 2000, { 320, 0, 704, 768 } },
        { "custom at the largest size", k1024x768, k320x240, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, { 128, 0, 896, 768 } },
        { "custom wide, height 0, larger than the area", k1024x768, k320x240, 0, 5000, 0, { 0, 384, 1024, 384 } },
        { "full screen, clip of no size", k1024x768, { 0, 0, 0, 0 }, 2, 0, 0, { 512, 0, 512, 768 } },
        { "full screen, clip of no height", k1024x768, { 0, 0, 320, 0 }, 2, 0, 0, { 0, 384, 1024, 384 } },
        { "original, clip of no size", k1024x768, { 0, 0, 0, 0 }, 1, 0, 0, { 512, 384, 512, 384 } },
        { "16:9, clip of no size", k1024x768, { 0, 0, 0, 0 }, 3, 0, 0, { 0, 96, 1024, 672 } },
        { "empty area", { 0, 0, 0, 0 }, k320x240, 2, 0, 0, { 0, 0, 0, 0 } },
        { "empty area off the screen", { 2000, 300, 2000, 300 }, k320x240, 1, 0, 0, { 2000, 300, 2000, 300 } },
        { "area of no height", { 10, 20, 500, 20 }, k320x240, 3, 0, 0, { 10, 20, 10, 20 } },
        { "inverted area", { 500, 400, 100, 100 }, k320x240, 1, 0, 0, { 500, 400, 500, 400 } },
    };
    for (const Row& row : rows)
        ExpectPlaced(row);
}
