// The row kernels of the YUV conversion, plain and SSE2. Both give the same bytes: the
// SSE2 ones only do eight or sixteen samples (the tone-map: a pixel's three channels) at a
// time of the same integer arithmetic.
#pragma once

#include <windows.h>

// The matrix in fixed point: luma scale and each chroma term in units of 1/16384 (the
// blue term less 2, which SSE2's 16-bit multiply cannot hold).
struct YuvCoefficients {
    short yOffset, yMul, rV, gU, gV, bUMinus2;
};

// matrix: 0 BT.601, 1 BT.709, 2 BT.2020 (non-constant luminance), as YuvMatrix counts them.
void MakeYuvCoefficients(int matrix, bool fullRange, YuvCoefficients* pOut);

// HDR to SDR in integers, the same steps in both kernels (CYuvScaler makes the tables):
// each channel's code value to its part of BT.709's light, the parts added and clipped at
// 0, one gain for all three set by the brightest (the roll-off), and BT.709's transfer.
const int kToneLightBits = 20;  // light in units of 1/2^20 of reference white
// The brightest light in steps of 1/128, up to 96 times reference white (PQ's brightest
// red is 82).
const DWORD kToneGainSteps = 96 * 128;
const int kToneGainShift = kToneLightBits - 7;
// Light times gain (1 << 16 is 1) to the encode table's steps of 1/65536.
const int kToneShift = kToneLightBits;
const DWORD kToneEncodeLast = 65535;

struct ToneTables {
    // By code value of R', G' and B' (full range): its part of BT.709's red, green and blue
    // light, which may be negative; the fourth always 0 (SSE2 adds rows whole).
    int light[3][256][4];
    WORD gain[kToneGainSteps + 1];  // by ToneGainIndex
    BYTE encode[kToneEncodeLast + 1];
};

inline DWORD ToneGainIndex(DWORD brightest)
{
    const DWORD step = (brightest + (1 << (kToneGainShift - 1))) >> kToneGainShift;
    return step < kToneGainSteps ? step : kToneGainSteps;
}

struct YuvKernels {
    // out = (a * (256 - weight) + b * weight + 128) / 256, weight 1-255.
    void (*blendRows)(const BYTE* a, const BYTE* b, DWORD weight, DWORD count, BYTE* out);
    // count pixels of 32 bits: blue, green, red, 0 (rgbx: red first).
    void (*toPixels)(const BYTE* y, const BYTE* u, const BYTE* v, DWORD count, const YuvCoefficients& c,
                     bool rgbx, BYTE* out);
    // Every second byte from the first or from the second on (YUY2's luma and chroma; the
    // high bytes of 16-bit samples).
    void (*takeEvenBytes)(const BYTE* in, DWORD count, BYTE* out);
    void (*takeOddBytes)(const BYTE* in, DWORD count, BYTE* out);
    // count pixels as toPixels made them, tone-mapped in place.
    void (*toneMapRow)(BYTE* pixels, DWORD count, bool rgbx, const ToneTables& t);
};

void SelectYuvKernels(bool useSse2, YuvKernels* pOut);

// Bilinear resampling of one row by a column table (see CYuvScaler): samples step bytes
// apart, as interleaved chroma has them. Shared by both paths.
void ResampleRow(const BYTE* row, DWORD step, const DWORD* table, DWORD count, BYTE* out);

// The plain kernels, for the SSE2 ones' tails.
void BlendRowsPlain(const BYTE* a, const BYTE* b, DWORD weight, DWORD count, BYTE* out);
void ToPixelsPlain(const BYTE* y, const BYTE* u, const BYTE* v, DWORD count, const YuvCoefficients& c, bool rgbx,
                   BYTE* out);
void TakeEvenBytesPlain(const BYTE* in, DWORD count, BYTE* out);
void TakeOddBytesPlain(const BYTE* in, DWORD count, BYTE* out);
void ToneMapRowPlain(BYTE* pixels, DWORD count, bool rgbx, const ToneTables& t);
void SelectYuvKernelsSse2(YuvKernels* pOut);
