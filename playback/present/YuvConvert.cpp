#include "playback/present/YuvConvert.h"

#include <cpuid.h>
#include <cstdlib>
#include <cstring>

#include "playback/present/FrameCopy.h"
#include "playback/present/YuvKernels.h"

namespace {

// A column or row table entry: the first source sample's index (from bit 9 up) and the
// weight of the next one, 0-256. A weight above 0 always has a next sample.
DWORD Entry(LONGLONG pos16, DWORD span)
{
    if (pos16 < 0)
        pos16 = 0;
    DWORD index = static_cast<DWORD>(pos16 >> 16);
    DWORD weight = (static_cast<DWORD>(pos16 & 0xFFFF) + 128) >> 8;
    if (weight == 256) {
        ++index;
        weight = 0;
    }
    if (index + 1 >= span) {
        index = span - 1;
        weight = 0;
    }
    return (index << 9) | weight;
}

// Where target sample d of count falls among source samples, in luma units from the
// picture's first sample, 16 fractional bits: pixel centres map onto pixel centres.
LONGLONG LumaPos16(DWORD d, DWORD source, DWORD target)
{
    return ((static_cast<LONGLONG>(2 * d + 1) * source - target) << 16) / (2 * static_cast<LONGLONG>(target));
}

// The chroma samples that cover the luma samples [first, first + count): 4:2:0 and 4:2:2
// have one for every two, sited on the even luma sample (horizontally; vertically 4:2:0
// sites it between its two rows).
struct ChromaSpan {
    DWORD first, count;
};

ChromaSpan SpanOf(DWORD first, DWORD count)
{
    ChromaSpan s = { first / 2, (first + count - 1) / 2 - first / 2 + 1 };
    return s;
}

bool IsVerticallyHalved(YuvLayout layout)
{
    return layout != YuvLayout::Yuy2;
}

bool IsPlanar(YuvLayout layout)
{
    return layout == YuvLayout::I420 || layout == YuvLayout::Yv12;
}

}  // namespace

bool DefaultIsBt709(DWORD width, DWORD height)
{
    return width >= 1280 || height > 576;
}

bool CanUseSse2()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid answers false where the processor has no CPUID instruction at all.
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(edx & bit_SSE2))
        return false;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExA(&version))
        return false;
    // Windows 95 and NT 4 do not save the SSE registers on a task switch.
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return version.dwMajorVersion >= 5;
    return version.dwMajorVersion > 4 || (version.dwMajorVersion == 4 && version.dwMinorVersion >= 10);
}

CYuvScaler::~CYuvScaler()
{
    std::free(m_memory);
}

bool CYuvScaler::Prepare(const YuvImage& image, const PixelTarget& target)
{
    if (m_memory && image.layout == m_layout && image.left == m_left && image.top == m_top &&
        image.width == m_srcW && image.height == m_srcH && target.width == m_dstW && target.height == m_dstH)
        return true;
    std::free(m_memory);
    m_memory = nullptr;
    const DWORD srcW = image.width, dstW = target.width;
    const ChromaSpan cx = SpanOf(image.left, srcW);
    // The kernels stay within their counts; the 16 spare bytes keep planar Cr apart from Cb.
    const DWORD slack = 16;
    const DWORD lumaRow = srcW + slack, chromaRow = 2 * cx.count + slack, outRow = dstW + slack;
    const SIZE_T bytes = static_cast<SIZE_T>(dstW) * 8 + lumaRow + chromaRow + 3 * outRow + 4 * outRow +
                         2 * (lumaRow + chromaRow);
    m_memory = static_cast<BYTE*>(std::malloc(bytes));
    if (!m_memory)
        return false;
    BYTE* p = m_memory;
    m_lumaX = reinterpret_cast<DWORD*>(p), p += dstW * 4;
    m_chromaX = reinterpret_cast<DWORD*>(p), p += dstW * 4;
    m_lumaRow = p, p += lumaRow;
    m_chromaRow = p, p += chromaRow;
    m_rowY = p, p += outRow;
    m_rowU = p, p += outRow;
    m_rowV = p, p += outRow;
    m_rowPixels = p, p += 4 * outRow;
    m_unpacked = p;

    for (DWORD d = 0; d < dstW; ++d) {
        const LONGLONG luma = LumaPos16(d, srcW, dstW);
        m_lumaX[d] = Entry(luma, srcW);
        // Chroma sample j sits on luma sample 2j of the frame.
        const LONGLONG chroma = ((luma + (static_cast<LONGLONG>(image.left) << 16)) >> 1) -
                                (static_cast<LONGLONG>(cx.first) << 16);
        m_chromaX[d] = Entry(chroma, cx.count);
    }
    m_layout = image.layout;
    m_left = image.left;
    m_top = image.top;
    m_srcW = srcW;
    m_srcH = image.height;
    m_dstW = dstW;
    m_dstH = target.height;
    return true;
}

bool CYuvScaler::Convert(const YuvImage& image, const YuvColour& colour, const PixelTarget& target, bool useSse2)
{
    CPixelPacker packer;
    if (!image.width || !image.height || !target.width || !target.height || !target.pixels ||
        !packer.Init(target.bits, target.rMask, target.gMask, target.bMask) || !Prepare(image, target))
        return false;
    YuvKernels kernels;
    SelectYuvKernels(useSse2, &kernels);
    YuvCoefficients coefficients;
    MakeYuvCoefficients(colour.bt709, colour.fullRange, &coefficients);
    // 32-bit displays take the pixels straight; others through one row of 32-bit pixels.
    const int order = packer.DirectOrder();

    const YuvLayout layout = image.layout;
    const ChromaSpan cx = SpanOf(image.left, image.width);
    const ChromaSpan cy = IsVerticallyHalved(layout) ? SpanOf(image.top, image.height)
                                                     : ChromaSpan{ image.top, image.height };
    const bool planar = IsPlanar(layout);
    const DWORD chromaStep = planar ? 1 : 2;
    const DWORD lumaBytes = image.width + 16, chromaBytes = 2 * cx.count + 16;
    BYTE* unpackedLuma[2] = { m_unpacked, m_unpacked + lumaBytes };
    BYTE* unpackedChroma[2] = { m_unpacked + 2 * lumaBytes, m_unpacked + 2 * lumaBytes + chromaBytes };

    // The picture's luma row y (from its top) as 8-bit samples.
    auto lumaRow = [&](DWORD y, int slot) -> const BYTE* {
        const BYTE* row = image.planes[0] + static_cast<LONG>(image.top + y) * image.pitches[0];
        switch (layout) {
        case YuvLayout::Yuy2:
            kernels.takeEvenBytes(row + 2 * image.left, image.width, unpackedLuma[slot]);
            return unpackedLuma[slot];
        case YuvLayout::P010:
            kernels.takeOddBytes(row + 2 * image.left, image.width, unpackedLuma[slot]);
            return unpackedLuma[slot];
        default:
            return row + image.left;
        }
    };
    // Chroma row y of the covering span: interleaved CbCr, or Cb alone (planar; the Cr row
    // is then at *pCr).
    auto chromaRow = [&](DWORD y, int slot, const BYTE** pCr) -> const BYTE* {
        const DWORD row = cy.first + y;
        switch (layout) {
        case YuvLayout::Yuy2: {
            const BYTE* packed = image.planes[0] + static_cast<LONG>(row) * image.pitches[0] + 4 * cx.first;
            kernels.takeOddBytes(packed, 2 * cx.count, unpackedChroma[slot]);
            return unpackedChroma[slot];
        }
        case YuvLayout::P010:
            kernels.takeOddBytes(image.planes[1] + static_cast<LONG>(row) * image.pitches[1] + 4 * cx.first,
                                  2 * cx.count, unpackedChroma[slot]);
            return unpackedChroma[slot];
        case YuvLayout::Nv12:
            return image.planes[1] + static_cast<LONG>(row) * image.pitches[1] + 2 * cx.first;
        default:
            *pCr = image.planes[2] + static_cast<LONG>(row) * image.pitches[2] + cx.first;
            return image.planes[1] + static_cast<LONG>(row) * image.pitches[1] + cx.first;
        }
    };

    for (DWORD d = 0; d < target.height; ++d) {
        const LONGLONG lumaPos = LumaPos16(d, image.height, target.height);
        const DWORD ly = Entry(lumaPos, image.height);
        const BYTE* luma = lumaRow(ly >> 9, 0);
        if (ly & 511) {
            kernels.blendRows(luma, lumaRow((ly >> 9) + 1, 1), ly & 511, image.width, m_lumaRow);
            luma = m_lumaRow;
        }
        // 4:2:0 chroma rows sit half a luma row lower than their first luma row.
        LONGLONG chromaPos = lumaPos + (static_cast<LONGLONG>(image.top) << 16);
        if (IsVerticallyHalved(layout))
            chromaPos = (chromaPos - 32768) >> 1;
        const DWORD chY = Entry(chromaPos - (static_cast<LONGLONG>(cy.first) << 16), cy.count);
        const BYTE* cr0 = nullptr;
        const BYTE* cb = chromaRow(chY >> 9, 0, &cr0);
        const BYTE* cr = planar ? cr0 : cb + 1;
        if (chY & 511) {
            const BYTE* cr1 = nullptr;
            const BYTE* cb1 = chromaRow((chY >> 9) + 1, 1, &cr1);
            if (planar) {
                kernels.blendRows(cb, cb1, chY & 511, cx.count, m_chromaRow);
                kernels.blendRows(cr0, cr1, chY & 511, cx.count, m_chromaRow + cx.count + 8);
                cb = m_chromaRow;
                cr = m_chromaRow + cx.count + 8;
            } else {
                kernels.blendRows(cb, cb1, chY & 511, 2 * cx.count, m_chromaRow);
                cb = m_chromaRow;
                cr = m_chromaRow + 1;
            }
        }

        const BYTE* y = luma;
        if (image.width != target.width) {
            ResampleRow(luma, 1, m_lumaX, target.width, m_rowY);
            y = m_rowY;
        }
        ResampleRow(cb, chromaStep, m_chromaX, target.width, m_rowU);
        ResampleRow(cr, chromaStep, m_chromaX, target.width, m_rowV);

        BYTE* out = target.pixels + static_cast<LONG>(d) * target.pitch;
        if (order != CPixelPacker::kNotDirect) {
            kernels.toPixels(y, m_rowU, m_rowV, target.width, coefficients, order == CPixelPacker::kRgbx, out);
        } else {
            kernels.toPixels(y, m_rowU, m_rowV, target.width, coefficients, false, m_rowPixels);
            packer.PackRow(m_rowPixels, target.width, out);
        }
    }
    return true;
}
