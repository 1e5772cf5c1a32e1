#include "playback/present/FrameCopy.h"

#include <cstring>

namespace {

inline DWORD Place(BYTE value, int shift, DWORD mask)
{
    DWORD v = value;
    return (shift >= 0 ? v << shift : v >> -shift) & mask;
}

}  // namespace

CPixelPacker::Channel CPixelPacker::ChannelFor(DWORD mask)
{
    Channel c = { 0, mask };
    int low = 0;
    while (!(mask & (1u << low)))
        ++low;
    int high = low;
    while (high < 31 && (mask & (1u << (high + 1))))
        ++high;
    c.shift = high - 7;  // the channel's bit 7 lands on the mask's top bit
    return c;
}

bool CPixelPacker::Init(DWORD bits, DWORD rMask, DWORD gMask, DWORD bMask)
{
    if ((bits != 16 && bits != 24 && bits != 32) || !rMask || !gMask || !bMask)
        return false;
    m_r = ChannelFor(rMask);
    m_g = ChannelFor(gMask);
    m_b = ChannelFor(bMask);
    m_bytes = bits / 8;
    m_direct = kNotDirect;
    if (bits == 32 && gMask == 0xFF00) {
        if (rMask == 0xFF0000 && bMask == 0xFF)
            m_direct = kBgrx;
        else if (rMask == 0xFF && bMask == 0xFF0000)
            m_direct = kRgbx;
    }
    return true;
}

void CPixelPacker::PackRow(const BYTE* bgrx, DWORD width, BYTE* out) const
{
    if (m_direct == kBgrx) {
        std::memcpy(out, bgrx, width * 4);
        return;
    }
    for (DWORD x = 0; x < width; ++x, bgrx += 4, out += m_bytes) {
        const DWORD pixel = Place(bgrx[2], m_r.shift, m_r.mask) | Place(bgrx[1], m_g.shift, m_g.mask) |
                            Place(bgrx[0], m_b.shift, m_b.mask);
        out[0] = static_cast<BYTE>(pixel);
        out[1] = static_cast<BYTE>(pixel >> 8);
        if (m_bytes >= 3)
            out[2] = static_cast<BYTE>(pixel >> 16);
        if (m_bytes == 4)
            out[3] = static_cast<BYTE>(pixel >> 24);
    }
}

bool CopyFrameToSurface(const FrameImage& frame, const DDSURFACEDESC& surface)
{
    const DDPIXELFORMAT& pf = surface.ddpfPixelFormat;
    CPixelPacker packer;
    if (!(pf.dwFlags & DDPF_RGB) || (pf.dwFlags & DDPF_PALETTEINDEXED8) || !surface.lpSurface ||
        !packer.Init(pf.dwRGBBitCount, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask))
        return false;
    const DWORD width = frame.width < surface.dwWidth ? frame.width : surface.dwWidth;
    const DWORD height = frame.height < surface.dwHeight ? frame.height : surface.dwHeight;
    const BYTE* src = frame.pTopRow;
    BYTE* dst = static_cast<BYTE*>(surface.lpSurface);
    for (DWORD y = 0; y < height; ++y, src += frame.pitch, dst += surface.lPitch)
        packer.PackRow(src, width, dst);
    return true;
}
