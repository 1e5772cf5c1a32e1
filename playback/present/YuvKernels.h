// The row kernels of the YUV conversion, plain and SSE2. Both give the same bytes: the
// SSE2 ones only do eight or sixteen samples at a time of the same integer arithmetic.
#pragma once

#include <windows.h>

// The matrix in fixed point: luma scale and each chroma term in units of 1/16384 (the
// blue term less 2, which SSE2's 16-bit multiply cannot hold).
struct YuvCoefficients {
    short yOffset, yMul, rV, gU, gV, bUMinus2;
};

// matrix: 0 BT.601, 1 BT.709, 2 BT.2020 (non-constant luminance), as YuvMatrix counts them.
void MakeYuvCoefficients(int matrix, bool fullRange, YuvCoefficients* pOut);

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
void SelectYuvKernelsSse2(YuvKernels* pOut);
