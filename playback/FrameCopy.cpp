#include "playback/FrameCopy.h"

#include <cstring>

namespace {

// Where one 8-bit channel goes in a pixel of this mask: its top bits, shifted.
struct Channel {
    int shift;  // left shift of the channel's top bit position (may be negative)
    DWORD mask;
};

Channel ChannelFor(DWORD mask)
{
    Channel c = { 0, mask };
    if (!mask)
        return c;
    int low = 0;
    while (!(mask & (1u << low)))
        ++low;
    int high = low;
    while (high < 31 && (mask & (1u << (high + 1))))
        ++high;
    c.shift = high - 7;  // the channel's bit 7 lands on the mask's top bit
    return c;
}

DWORD Place(BYTE value, const Channel& c)
{
    DWORD v = value;
    DWORD placed = c.shift >= 0 ? v << c.shift : v >> -c.shift;
    return placed & c.mask;
}

}  // namespace

bool CopyFrameToSurface(const FrameImage& frame, const DDSURFACEDESC& surface)
{
    const DDPIXELFORMAT& pf = surface.ddpfPixelFormat;
    const DWORD bits = pf.dwRGBBitCount;
    if (!(pf.dwFlags & DDPF_RGB) || (pf.dwFlags & DDPF_PALETTEINDEXED8) ||
        (bits != 16 && bits != 24 && bits != 32) || !surface.lpSurface)
        return false;
    const DWORD width = frame.width < surface.dwWidth ? frame.width : surface.dwWidth;
    const DWORD height = frame.height < surface.dwHeight ? frame.height : surface.dwHeight;
    const BYTE* src = frame.pTopRow;
    BYTE* dst = static_cast<BYTE*>(surface.lpSurface);

    // The display's usual format: the same bytes, row by row.
    if (bits == 32 && pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF) {
        for (DWORD y = 0; y < height; ++y, src += frame.pitch, dst += surface.lPitch)
            std::memcpy(dst, src, width * 4);
        return true;
    }
    const Channel r = ChannelFor(pf.dwRBitMask), g = ChannelFor(pf.dwGBitMask), b = ChannelFor(pf.dwBBitMask);
    const DWORD bytes = bits / 8;
    for (DWORD y = 0; y < height; ++y, src += frame.pitch, dst += surface.lPitch) {
        const BYTE* s = src;
        BYTE* d = dst;
        for (DWORD x = 0; x < width; ++x, s += 4, d += bytes) {
            DWORD pixel = Place(s[2], r) | Place(s[1], g) | Place(s[0], b);
            d[0] = static_cast<BYTE>(pixel);
            d[1] = static_cast<BYTE>(pixel >> 8);
            if (bytes >= 3)
                d[2] = static_cast<BYTE>(pixel >> 16);
            if (bytes == 4)
                d[3] = static_cast<BYTE>(pixel >> 24);
        }
    }
    return true;
}
