// The 4:3 correction of frame sizes.
#include <gtest/gtest.h>

#include "playback/FramePresenter.h"
#include "playback/StreamPlayer.h"

namespace {
struct Case {
    DWORD w, h, expectW, expectH;
};
}  // namespace

TEST(CorrectAspect, OnlyFramesJustOffFourThirdsAreCorrected)
{
    const Case cases[] = {
        { 352, 264, 352, 264 },   // exactly 4:3
        { 354, 266, 354, 266 },   // 1.331, width not a multiple of 4: 266 x 4/3 = 354.67
        { 360, 271, 360, 270 },   // 1.328, width a multiple of 4: 360 x 3/4
        { 362, 271, 361, 271 },   // 1.336, width not a multiple of 4: 271 x 4/3 = 361.33
        { 640, 480, 640, 480 },
        { 720, 480, 720, 480 },   // 1.5: outside the band
        { 1320, 1000, 1320, 1000 },  // 1.32 itself is outside (the band is open)
        { 1340, 1000, 1340, 1000 },
        { 0, 0, 0, 0 },           // an empty format must not divide by zero
        { 320, 0, 320, 0 },
    };
    for (const Case& c : cases) {
        DWORD w = c.w, h = c.h;
        CorrectAspect(&w, &h);
        EXPECT_EQ(c.expectW, w) << c.w << "x" << c.h;
        EXPECT_EQ(c.expectH, h) << c.w << "x" << c.h;
    }
}
