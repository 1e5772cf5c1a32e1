// Writes decoded 32-bit RGB pixels (blue, green, red, unused bytes) in the display's
// pixel format: 32, 24 or 16 bits a pixel with any masks.
#pragma once

#include <windows.h>
#include <ddraw.h>

struct FrameImage {
    const BYTE* pTopRow;  // the picture's top row
    LONG pitch;           // bytes from one row to the next below it; negative bottom-up
    DWORD width, height;
};

// One row at a time into pixels of the given bit count and channel masks.
class CPixelPacker {
public:
    enum { kNotDirect = 0, kBgrx = 1, kRgbx = 2 };

    // False for what it cannot write (fewer than 16 bits, a channel without mask).
    bool Init(DWORD bits, DWORD rMask, DWORD gMask, DWORD bMask);
    // kBgrx or kRgbx where 32-bit pixels of that byte order are the format itself.
    int DirectOrder() const { return m_direct; }
    void PackRow(const BYTE* bgrx, DWORD width, BYTE* out) const;

private:
    struct Channel {
        int shift;  // left shift of the channel's top bit position (may be negative)
        DWORD mask;
    };
    static Channel ChannelFor(DWORD mask);
    Channel m_r = {}, m_g = {}, m_b = {};
    DWORD m_bytes = 0;
    int m_direct = kNotDirect;
};

// Copies the top-left part of the frame that fits the surface (and fills nothing else).
// False for formats it cannot write (palettes, fewer than 16 bits, no RGB masks).
bool CopyFrameToSurface(const FrameImage& frame, const DDSURFACEDESC& surface);
