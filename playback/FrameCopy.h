// Copies a decoded 32-bit RGB frame (blue, green, red, unused bytes) into a locked
// DirectDraw surface of the display's format: 32, 24 or 16 bits a pixel with any masks.
#pragma once

#include <windows.h>
#include <ddraw.h>

struct FrameImage {
    const BYTE* pTopRow;  // the picture's top row
    LONG pitch;           // bytes from one row to the next below it; negative bottom-up
    DWORD width, height;
};

// Copies the top-left part of the frame that fits the surface (and fills nothing else).
// False for formats it cannot write (palettes, fewer than 16 bits, no RGB masks).
bool CopyFrameToSurface(const FrameImage& frame, const DDSURFACEDESC& surface);
