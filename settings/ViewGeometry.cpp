// Placement of each video frame: the settings record's view size option applied to the
// view area and the clip's frame size.
#include "settings/SettingsDlg.h"

namespace {

// Single precision, as the sizes are computed in single precision throughout: 16/9 is
// 1.7777778 here, slightly above the true ratio, so exact multiples truncate cleanly.
const float kNineSixteenths = 0.5625f;
const float kSixteenNinths = 1.7777778f;

float F(UINT n)
{
    return static_cast<float>(n);
}

// Truncated toward zero. 0/0 (a clip of no size) and anything negative give 0, and
// nothing converts out of range.
UINT ToSize(float value)
{
    if (!(value > 0.0f))
        return 0;
    if (value >= 4294967296.0f)
        return 0xFFFFFFFFu;
    return static_cast<UINT>(value);
}

// size * num / den. Each step is rounded to single precision (the settings library is
// built with -fexcess-precision=standard, so x87 registers carry no extra bits here).
UINT Scale(UINT size, UINT num, UINT den)
{
    float product = F(size) * F(num);
    float quotient = product / F(den);
    return ToSize(quotient);
}

// h1 / w1 < h2 / w2: the second shape is wider in proportion than the first. Equal
// proportions count as not wider.
bool WiderThan(UINT w2, UINT h2, UINT w1, UINT h1)
{
    float ratio1 = F(h2) / F(h1);
    float ratio2 = F(w2) / F(w1);
    return ratio1 < ratio2;
}

}  // namespace

void CSettingsDlg::CalcViewRect(const RECT& area, RECT* clip) const
{
    if (!clip)
        return;
    // A window entirely off the screen has an empty view area: nothing to draw.
    if (area.right <= area.left || area.bottom <= area.top) {
        clip->left = clip->right = area.left;
        clip->top = clip->bottom = area.top;
        return;
    }
    // Unsigned differences: a span wider than LONG_MAX still has its true size.
    const UINT ww = static_cast<UINT>(area.right) - static_cast<UINT>(area.left);
    const UINT wh = static_cast<UINT>(area.bottom) - static_cast<UINT>(area.top);
    const UINT cw = static_cast<UINT>(clip->right) - static_cast<UINT>(clip->left);
    const UINT ch = static_cast<UINT>(clip->bottom) - static_cast<UINT>(clip->top);

    // Target size by option.
    UINT tw, th;
    const bool clipWider = WiderThan(cw, ch, ww, wh);
    switch (m_nViewSizeOption) {
    case 1:
        tw = cw;
        th = ch;
        break;
    case 2:  // touch two opposite sides of the area
        if (clipWider) {
            tw = ww;
            th = Scale(ch, ww, cw);
        } else {
            tw = Scale(wh, cw, ch);
            th = wh;
        }
        break;
    case 3:  // 16:9 whatever the clip's own shape
        if (clipWider) {
            tw = ww;
            th = ToSize(F(ww) * kNineSixteenths);
        } else {
            tw = ToSize(F(wh) * kSixteenNinths);
            th = wh;
        }
        break;
    default:  // 0, and any value we do not know, is the custom size
        tw = m_nCustomWidth;
        th = m_nCustomHeight;
        break;
    }

    // Shrink to fit with the proportions kept; never enlarge.
    if (WiderThan(tw, th, ww, wh)) {
        if (tw > ww) {
            th = Scale(th, ww, tw);
            tw = ww;
        }
    } else if (th > wh) {
        tw = Scale(tw, wh, th);
        th = wh;
    }
    // Rounding must never push the picture past the area: the halving below is unsigned.
    if (tw > ww)
        tw = ww;
    if (th > wh)
        th = wh;

    // Centre, the odd pixel dropped. Unsigned sums wrap instead of overflowing.
    clip->left = static_cast<LONG>(static_cast<UINT>(area.left) + (ww - tw) / 2);
    clip->top = static_cast<LONG>(static_cast<UINT>(area.top) + (wh - th) / 2);
    clip->right = static_cast<LONG>(static_cast<UINT>(clip->left) + tw);
    clip->bottom = static_cast<LONG>(static_cast<UINT>(clip->top) + th);
}
