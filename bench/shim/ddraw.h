// The DirectDraw surface description that the frame converter's files name, so that they
// compile for Linux in the converter benchmark (bench/ConvertBench.cpp).
#pragma once

#include <windows.h>

enum { DDPF_RGB = 0x40, DDPF_PALETTEINDEXED8 = 0x20 };
struct DDPIXELFORMAT {
    DWORD dwSize, dwFlags, dwFourCC, dwRGBBitCount, dwRBitMask, dwGBitMask, dwBBitMask, dwRGBAlphaBitMask;
};
struct DDSURFACEDESC {
    DWORD dwSize, dwFlags, dwHeight, dwWidth;
    LONG lPitch;
    void* lpSurface;
    DDPIXELFORMAT ddpfPixelFormat;
};
