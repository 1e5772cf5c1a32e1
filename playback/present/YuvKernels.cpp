#include "playback/present/YuvKernels.h"

namespace {

// What SSE2's pmulhw gives: the high half of the signed 32-bit product.
inline int MulHigh(int a, int b)
{
    return (a * b) >> 16;
}

inline int Saturate16(int v)
{
    return v < -32768 ? -32768 : v > 32767 ? 32767 : v;
}

inline BYTE Saturate8(int v)
{
    return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void MakeYuvCoefficients(int matrix, bool fullRange, YuvCoefficients* pOut)
{
    // From Kr and Kb of each matrix (0.299/0.114, 0.2126/0.0722, 0.2627/0.0593): red 2(1-Kr), blue
    // 2(1-Kb), green -2(1-Kb)Kb/Kg and -2(1-Kr)Kr/Kg; limited range scales luma by
    // 255/219 and chroma by 255/224. Rounded to 1/16384.
    static const YuvCoefficients table[6] = {
        { 16, 19077, 26149, -6419, -13320, 282 },   // BT.601, limited
        { 0, 16384, 22970, -5638, -11700, -3736 },  // BT.601, full
        { 16, 19077, 29372, -3494, -8731, 1842 },   // BT.709, limited
        { 0, 16384, 25802, -3069, -7670, -2366 },   // BT.709, full
        { 16, 19077, 27503, -3069, -10657, 2323 },  // BT.2020, limited
        { 0, 16384, 24160, -2696, -9361, -1943 },   // BT.2020, full
    };
    *pOut = table[(matrix >= 0 && matrix <= 2 ? 2 * matrix : 0) + (fullRange ? 1 : 0)];
}

void BlendRowsPlain(const BYTE* a, const BYTE* b, DWORD weight, DWORD count, BYTE* out)
{
    const DWORD keep = 256 - weight;
    for (DWORD i = 0; i < count; ++i)
        out[i] = static_cast<BYTE>((a[i] * keep + b[i] * weight + 128) >> 8);
}

void ToPixelsPlain(const BYTE* y, const BYTE* u, const BYTE* v, DWORD count, const YuvCoefficients& c, bool rgbx,
                   BYTE* out)
{
    for (DWORD i = 0; i < count; ++i, out += 4) {
        const int luma = y[i] > c.yOffset ? y[i] - c.yOffset : 0;
        const int y32 = Saturate16(static_cast<int>((static_cast<unsigned>(luma << 8) * static_cast<unsigned>(c.yMul)) >> 16) + 32);
        const int cb = static_cast<short>((u[i] - 128) << 8), cr = static_cast<short>((v[i] - 128) << 8);
        const int r = Saturate16(y32 + MulHigh(cr, c.rV)) >> 6;
        const int g = Saturate16(Saturate16(y32 + MulHigh(cb, c.gU)) + MulHigh(cr, c.gV)) >> 6;
        const int b = Saturate16(Saturate16(y32 + (cb >> 1)) + MulHigh(cb, c.bUMinus2)) >> 6;
        out[0] = Saturate8(rgbx ? r : b);
        out[1] = Saturate8(g);
        out[2] = Saturate8(rgbx ? b : r);
        out[3] = 0;
    }
}

void TakeEvenBytesPlain(const BYTE* in, DWORD count, BYTE* out)
{
    for (DWORD i = 0; i < count; ++i)
        out[i] = in[2 * i];
}

void TakeOddBytesPlain(const BYTE* in, DWORD count, BYTE* out)
{
    for (DWORD i = 0; i < count; ++i)
        out[i] = in[2 * i + 1];
}

void ToneMapRowPlain(BYTE* pixels, DWORD count, bool rgbx, const ToneTables& t)
{
    const int ri = rgbx ? 0 : 2, bi = rgbx ? 2 : 0;
    for (DWORD i = 0; i < count; ++i, pixels += 4) {
        const int* r = t.light[0][pixels[ri]];
        const int* g = t.light[1][pixels[1]];
        const int* b = t.light[2][pixels[bi]];
        DWORD light[3], brightest = 0;
        for (int c = 0; c < 3; ++c) {
            const int sum = r[c] + g[c] + b[c];
            light[c] = sum > 0 ? sum : 0;  // outside BT.709: clipped
            brightest = light[c] > brightest ? light[c] : brightest;
        }
        // One gain for all three keeps the hue.
        const DWORD gain = t.gain[ToneGainIndex(brightest)];
        BYTE code[3];
        for (int c = 0; c < 3; ++c) {
            const DWORD step = static_cast<DWORD>((static_cast<unsigned long long>(light[c]) * gain) >> kToneShift);
            code[c] = t.encode[step < kToneEncodeLast ? step : kToneEncodeLast];
        }
        pixels[ri] = code[0];
        pixels[1] = code[1];
        pixels[bi] = code[2];
    }
}

void ResampleRow(const BYTE* row, DWORD step, const DWORD* table, DWORD count, BYTE* out)
{
    for (DWORD d = 0; d < count; ++d) {
        const DWORD e = table[d], weight = e & 511;
        const BYTE* s = row + (e >> 9) * step;
        const int a = s[0], b = s[weight ? step : 0];
        out[d] = static_cast<BYTE>(a + (((b - a) * static_cast<int>(weight) + 128) >> 8));
    }
}

void SelectYuvKernels(bool useSse2, YuvKernels* pOut)
{
    if (useSse2) {
        SelectYuvKernelsSse2(pOut);
        return;
    }
    pOut->blendRows = BlendRowsPlain;
    pOut->toPixels = ToPixelsPlain;
    pOut->takeEvenBytes = TakeEvenBytesPlain;
    pOut->takeOddBytes = TakeOddBytesPlain;
    pOut->toneMapRow = ToneMapRowPlain;
}
