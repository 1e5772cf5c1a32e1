// Turns a decoder's YUV frame into the display's pixels at their final size in one pass:
// bilinear scaling in both directions, chroma taken where the format sites it, the clip's
// own matrix and range, the turn that makes it upright (by where each row is stored), one
// field of an interlaced frame, and HDR tone-mapped to the screen's SDR. SSE2 where the
// processor and the system have it.
#pragma once

#include <windows.h>

enum class YuvLayout { Nv12, I420, Yv12, Yuy2, P010 };

struct YuvImage {
    YuvLayout layout = YuvLayout::Nv12;
    // Y (YUY2: the packed pixels); Cb, or CbCr interleaved (NV12, P010); Cr (I420, YV12).
    const BYTE* planes[3] = {};
    LONG pitches[3] = {};
    // The picture within the decoded frame (the display aperture), in luma pixels.
    DWORD left = 0, top = 0, width = 0, height = 0;
    // Degrees clockwise that turn the picture upright: 0, 90, 180 or 270. The target is
    // the upright picture (a quarter turn: the frame's height across).
    int rotation = 0;
    // An interlaced frame: the field shown first (0 the top one, of the even rows; 1 the
    // bottom one), which alone is shown, its rows spread over the picture's height (no
    // combs where the two fields differ). -1: progressive.
    int field = -1;
};

enum class YuvMatrix { Bt601, Bt709, Bt2020 };
enum class YuvTransfer { Sdr, Pq, Hlg };

struct YuvColour {
    YuvMatrix matrix = YuvMatrix::Bt601;
    bool fullRange = false;  // 0-255, else 16-235 (chroma 16-240)
    // PQ and HLG (with BT.2020 primaries): tone-mapped to BT.709 SDR, pixel by pixel: the
    // transfer undone into light (HDR reference white, 203 cd/m2, as 1.0; HLG as shown on a
    // 1000 cd/m2 display), BT.2020 primaries turned into BT.709, the brightest channel
    // rolled off by Hable's curve (ffmpeg's parameters) to a peak of 1000 cd/m2, and
    // BT.709's transfer (a 2.4 power) again.
    YuvTransfer transfer = YuvTransfer::Sdr;
};

struct ToneTables;

// Pixels of the display's format: 32 bits of either byte order, 24, or 16 (565, 555).
struct PixelTarget {
    BYTE* pixels = nullptr;  // the top row
    LONG pitch = 0;
    DWORD width = 0, height = 0;
    DWORD bits = 0, rMask = 0, gMask = 0, bMask = 0;
};

// The matrix players use where the clip names none: BT.709 from HD sizes up.
bool DefaultIsBt709(DWORD width, DWORD height);

// Whether SSE2 may run here: the processor says so (CPUID) and the system saves its
// registers (Windows 98 and 2000 on; 95 and NT 4 do not).
bool CanUseSse2();

class CYuvScaler {
public:
    CYuvScaler() = default;
    ~CYuvScaler();
    CYuvScaler(const CYuvScaler&) = delete;
    CYuvScaler& operator=(const CYuvScaler&) = delete;

    // Scales and converts the whole picture into the whole target. useSse2 is for tests;
    // the program passes CanUseSse2(). False for an empty picture or target, a format it
    // cannot write (palettes), or no memory.
    bool Convert(const YuvImage& image, const YuvColour& colour, const PixelTarget& target, bool useSse2);

private:
    bool Prepare(const YuvImage& image, DWORD width, DWORD height);

    // The sizes the tables were made for.
    YuvLayout m_layout = YuvLayout::Nv12;
    DWORD m_left = 0, m_top = 0, m_srcW = 0, m_srcH = 0, m_dstW = 0, m_dstH = 0;
    BYTE* m_memory = nullptr;  // malloc'd: every table and row buffer below
    // Per target column: the two source columns and the weight of the second (0-256),
    // for luma and for chroma (in chroma samples of the source row).
    DWORD* m_lumaX = nullptr;
    DWORD* m_chromaX = nullptr;
    // Rows: source rows blended vertically, then the target row's Y, Cb, Cr, and its
    // 32-bit pixels before packing into 16 or 24 bits.
    BYTE* m_lumaRow = nullptr;
    BYTE* m_chromaRow = nullptr;
    BYTE* m_rowY = nullptr;
    BYTE* m_rowU = nullptr;
    BYTE* m_rowV = nullptr;
    BYTE* m_rowPixels = nullptr;
    BYTE* m_rowPacked = nullptr;  // a row in the display's format, before a turned store
    // Source rows of YUY2 and P010 taken apart into 8-bit planes (two rows each).
    BYTE* m_unpacked = nullptr;
    // HDR's tables (malloc'd at the first HDR frame, about 100 KB) and the transfer they
    // were made for.
    ToneTables* m_tone = nullptr;
    YuvTransfer m_toneTransfer = YuvTransfer::Sdr;
};
