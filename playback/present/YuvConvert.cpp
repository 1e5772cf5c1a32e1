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

// The rows of one field as a picture of their own: every second row of each plane from
// the field's first. 4:2:0 chroma rows alternate between the fields as the luma rows do;
// the picture keeps to the chroma rows its field has.
void TakeField(int field, YuvImage* pImage)
{
    YuvImage& im = *pImage;
    const DWORD parity = static_cast<DWORD>(field);
    const DWORD first = (im.top & 1) == parity ? im.top : im.top + 1;  // in frame rows
    if (first >= im.top + im.height)
        return;  // a picture of one row: as it is
    const DWORD top = first / 2;
    DWORD rows = (im.top + im.height - first + 1) / 2;
    if (IsVerticallyHalved(im.layout)) {
        const DWORD chromaRows = (im.top + im.height + 1) / 2;
        if (chromaRows < 1 + parity)
            return;
        const DWORD last = 2 * ((chromaRows - 1 - parity) / 2) + 1;  // the field's last luma row it can colour
        if (top > last)
            return;
        if (rows > last + 1 - top)
            rows = last + 1 - top;
    }
    for (int p = 0; p < 3; ++p) {
        if (im.planes[p])
            im.planes[p] += static_cast<LONG>(parity) * im.pitches[p];
        im.pitches[p] *= 2;
    }
    im.top = top;
    im.height = rows;
}

// Puts work row d (pixels of the display's format, in the frame's own orientation) where
// the turn takes it: a row of the target (0), its mirror (180), or a column (90, 270).
void StoreRow(const BYTE* row, DWORD count, DWORD bytes, DWORD d, int rotation, const PixelTarget& t)
{
    BYTE* out;
    LONG step;
    switch (rotation) {
    case 90:
        out = t.pixels + static_cast<LONG>((t.width - 1 - d) * bytes);
        step = t.pitch;
        break;
    case 180:
        out = t.pixels + static_cast<LONG>(t.height - 1 - d) * t.pitch + static_cast<LONG>((t.width - 1) * bytes);
        step = -static_cast<LONG>(bytes);
        break;
    case 270:
        out = t.pixels + static_cast<LONG>(t.height - 1) * t.pitch + static_cast<LONG>(d * bytes);
        step = -t.pitch;
        break;
    default:
        std::memcpy(t.pixels + static_cast<LONG>(d) * t.pitch, row, static_cast<size_t>(count) * bytes);
        return;
    }
    for (DWORD i = 0; i < count; ++i, row += bytes, out += step)
        std::memcpy(out, row, bytes);
}

// HDR's tables for the tone-map kernels (see YuvColour and ToneTables).
void MakeToneTables(YuvTransfer transfer, ToneTables* pOut);

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
    std::free(m_tone);
}

bool CYuvScaler::Prepare(const YuvImage& image, DWORD width, DWORD height)
{
    if (m_memory && image.layout == m_layout && image.left == m_left && image.top == m_top &&
        image.width == m_srcW && image.height == m_srcH && width == m_dstW && height == m_dstH)
        return true;
    std::free(m_memory);
    m_memory = nullptr;
    const DWORD srcW = image.width, dstW = width;
    const ChromaSpan cx = SpanOf(image.left, srcW);
    // The kernels stay within their counts; the 16 spare bytes keep planar Cr apart from Cb.
    const DWORD slack = 16;
    const DWORD lumaRow = srcW + slack, chromaRow = 2 * cx.count + slack, outRow = dstW + slack;
    const SIZE_T bytes = static_cast<SIZE_T>(dstW) * 8 + lumaRow + chromaRow + 3 * outRow + 8 * outRow +
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
    m_rowPacked = p, p += 4 * outRow;
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
    m_dstH = height;
    return true;
}

bool CYuvScaler::Convert(const YuvImage& given, const YuvColour& colour, const PixelTarget& target, bool useSse2)
{
    CPixelPacker packer;
    const int rotation = given.rotation;
    const bool turned = rotation == 90 || rotation == 270;
    if (rotation != 0 && rotation != 180 && !turned)
        return false;
    // The rows are made in the frame's own orientation, at the size the turn then gives
    // the target: a quarter turn stores each as one of the target's columns.
    const DWORD workW = turned ? target.height : target.width, workH = turned ? target.width : target.height;
    YuvImage image = given;
    if (given.field == 0 || given.field == 1)
        TakeField(given.field, &image);
    if (!image.width || !image.height || !target.width || !target.height || !target.pixels ||
        !packer.Init(target.bits, target.rMask, target.gMask, target.bMask) || !Prepare(image, workW, workH))
        return false;
    YuvKernels kernels;
    SelectYuvKernels(useSse2, &kernels);
    YuvCoefficients coefficients;
    const bool hdr = colour.transfer != YuvTransfer::Sdr;
    // HDR is turned into full-range R'G'B' first, then into light.
    MakeYuvCoefficients(static_cast<int>(colour.matrix), colour.fullRange, &coefficients);
    if (hdr && colour.transfer != m_toneTransfer) {
        if (!m_tone)
            m_tone = static_cast<ToneTables*>(std::malloc(sizeof(ToneTables)));
        if (!m_tone)
            return false;
        MakeToneTables(colour.transfer, m_tone);
        m_toneTransfer = colour.transfer;
    }
    // 32-bit displays take the pixels straight where nothing follows; others through one
    // row of 32-bit pixels.
    const int order = packer.DirectOrder();
    const bool direct = order != CPixelPacker::kNotDirect && rotation == 0 && !hdr;
    const bool rgbx = order == CPixelPacker::kRgbx;
    const DWORD pixelBytes = target.bits / 8;

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

    for (DWORD d = 0; d < workH; ++d) {
        const LONGLONG lumaPos = LumaPos16(d, image.height, workH);
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
        if (image.width != workW) {
            ResampleRow(luma, 1, m_lumaX, workW, m_rowY);
            y = m_rowY;
        }
        ResampleRow(cb, chromaStep, m_chromaX, workW, m_rowU);
        ResampleRow(cr, chromaStep, m_chromaX, workW, m_rowV);

        if (direct) {
            kernels.toPixels(y, m_rowU, m_rowV, workW, coefficients, rgbx,
                             target.pixels + static_cast<LONG>(d) * target.pitch);
            continue;
        }
        kernels.toPixels(y, m_rowU, m_rowV, workW, coefficients, rgbx, m_rowPixels);
        if (hdr)
            kernels.toneMapRow(m_rowPixels, workW, rgbx, *m_tone);
        const BYTE* row = m_rowPixels;
        if (order == CPixelPacker::kNotDirect) {
            packer.PackRow(m_rowPixels, workW, m_rowPacked);
            row = m_rowPacked;
        }
        StoreRow(row, workW, pixelBytes, d, rotation, target);
    }
    return true;
}

namespace {

const double kReferenceWhite = 203;  // cd/m2: HDR's reference white, shown as SDR white
const double kPeak = 1000 / kReferenceWhite;
const double kLn2 = 0.6931471805599453;

// exp, log and pow of our own, for the tables: the C library's bring in ldexp, which
// Windows 98's msvcrt.dll does not have.
double Exp(double x)
{
    // x = k ln 2 + r with |r| at most ln 2 / 2: e^r by its series, 2^k into the exponent.
    if (x < -700)
        return 0;
    if (x > 700)
        x = 700;
    const int k = static_cast<int>(x / kLn2 + (x < 0 ? -0.5 : 0.5));
    const double r = x - k * kLn2;
    double term = 1, sum = 1;
    for (int n = 1; n < 20; ++n) {
        term *= r / n;
        sum += term;
    }
    const unsigned long long bits = static_cast<unsigned long long>(k + 1023) << 52;
    double scale;
    std::memcpy(&scale, &bits, sizeof(scale));
    return sum * scale;
}

double Log(double x)  // x > 0, not denormal
{
    unsigned long long bits;
    std::memcpy(&bits, &x, sizeof(bits));
    int e = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    bits = (bits & ((1ull << 52) - 1)) | (1023ull << 52);
    double m;  // 1 <= m < 2
    std::memcpy(&m, &bits, sizeof(m));
    if (m > 1.4142135623730951) {
        m /= 2;
        ++e;
    }
    // log m = 2 atanh(s), s = (m - 1) / (m + 1), at most 0.172 here.
    const double s = (m - 1) / (m + 1), s2 = s * s;
    double term = s, sum = 0;
    for (int n = 1; n < 40; n += 2) {
        sum += term / n;
        term *= s2;
    }
    return 2 * sum + e * kLn2;
}

double Pow(double a, double b)
{
    return a <= 0 ? 0 : Exp(b * Log(a));
}

// v rounded to the nearest integer, halves away from 0.
int Round(double v)
{
    return v < 0 ? -static_cast<int>(0.5 - v) : static_cast<int>(v + 0.5);
}

double Hable(double x)
{
    const double a = 0.15, b = 0.50, c = 0.10, d = 0.20, e = 0.02, f = 0.30;
    return (x * (x * a + b * c) + d * e) / (x * (x * a + b) + d * f) - e / f;
}

// The light of HDR code value i of 255, reference white 1.0.
double HdrLight(YuvTransfer transfer, int i)
{
    const double e = i / 255.0;
    if (transfer == YuvTransfer::Pq) {
        const double m1 = 2610.0 / 16384, m2 = 2523.0 / 32, c1 = 3424.0 / 4096, c2 = 2413.0 / 128, c3 = 2392.0 / 128;
        const double p = Pow(e, 1 / m2);
        const double n = p - c1 > 0 ? p - c1 : 0;
        return Pow(n / (c2 - c3 * p), 1 / m1) * 10000 / kReferenceWhite;
    }
    // HLG as on a 1000 cd/m2 display: its system gamma of 1.2 taken channel by channel, as
    // ffmpeg's own conversion does (BT.2100 takes it on the luminance: the same on greys, a
    // little more saturated on strong colours).
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * Log(4 * a);
    const double scene = e <= 0.5 ? e * e / 3 : (Exp((e - c) / a) + b) / 12;
    return 1000 / kReferenceWhite * Pow(scene, 1.2);
}

void MakeToneTables(YuvTransfer transfer, ToneTables* pOut)
{
    // BT.2020 primaries to BT.709's, by row; colours outside BT.709 come out negative.
    static const double kToBt709[3][3] = { { 1.6605, -0.5876, -0.0728 },
                                           { -0.1246, 1.1329, -0.0083 },
                                           { -0.0182, -0.1006, 1.1187 } };
    const double unit = 1 << kToneLightBits;
    for (int i = 0; i < 256; ++i) {
        const double light = HdrLight(transfer, i) * unit;
        for (int channel = 0; channel < 3; ++channel) {
            int* row = pOut->light[channel][i];
            for (int c = 0; c < 3; ++c)
                row[c] = Round(kToBt709[c][channel] * light);
            row[3] = 0;
        }
    }
    // Hable's curve through the peak's light to 1: the gain at each step's light (the first
    // step at half a step).
    const double toPeak = 1 / Hable(kPeak), stepsPerUnit = 1 << (kToneLightBits - kToneGainShift);
    for (DWORD i = 0; i <= kToneGainSteps; ++i) {
        const double m = (i ? i : 0.5) / stepsPerUnit;
        pOut->gain[i] = static_cast<WORD>(Round(Hable(m) * toPeak / m * 65536));
    }
    for (DWORD i = 0; i <= kToneEncodeLast; ++i)
        pOut->encode[i] = static_cast<BYTE>(Round(255 * Pow(i / 65536.0, 1 / 2.4)));
}

}  // namespace
