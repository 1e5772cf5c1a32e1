// The SSE2 kernels. Only these functions use SSE2 (the rest of the program runs on any
// Pentium): each is compiled for it alone, realigns the stack it was given (Windows'
// 32-bit stacks are aligned to 4 bytes) and is called only after CanUseSse2().
#include <emmintrin.h>

#include "playback/present/YuvKernels.h"

#define SSE2_KERNEL __attribute__((target("sse2"), force_align_arg_pointer))

namespace {

SSE2_KERNEL void BlendRowsSse2(const BYTE* a, const BYTE* b, DWORD weight, DWORD count, BYTE* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i keep = _mm_set1_epi16(static_cast<short>(256 - weight));
    const __m128i take = _mm_set1_epi16(static_cast<short>(weight));
    const __m128i half = _mm_set1_epi16(128);
    DWORD i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        // At most 255 x 256 + 128: the unsigned 16 bits hold every sum.
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), keep),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), take));
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), keep),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), take));
        lo = _mm_srli_epi16(_mm_add_epi16(lo, half), 8);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, half), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
    BlendRowsPlain(a + i, b + i, weight, count - i, out + i);
}

SSE2_KERNEL void ToPixelsSse2(const BYTE* y, const BYTE* u, const BYTE* v, DWORD count, const YuvCoefficients& c,
                              bool rgbx, BYTE* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i yOffset = _mm_set1_epi8(static_cast<char>(c.yOffset));
    const __m128i yMul = _mm_set1_epi16(c.yMul);
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i round = _mm_set1_epi16(32);
    const __m128i rV = _mm_set1_epi16(c.rV), gU = _mm_set1_epi16(c.gU), gV = _mm_set1_epi16(c.gV);
    const __m128i bU = _mm_set1_epi16(c.bUMinus2);
    DWORD i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i luma = _mm_subs_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + i)), yOffset);
        luma = _mm_adds_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(zero, luma), yMul), round);  // (y << 8) x mul
        const __m128i cb = _mm_slli_epi16(
            _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + i)), zero), centre), 8);
        const __m128i cr = _mm_slli_epi16(
            _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + i)), zero), centre), 8);
        __m128i r = _mm_srai_epi16(_mm_adds_epi16(luma, _mm_mulhi_epi16(cr, rV)), 6);
        __m128i g = _mm_srai_epi16(
            _mm_adds_epi16(_mm_adds_epi16(luma, _mm_mulhi_epi16(cb, gU)), _mm_mulhi_epi16(cr, gV)), 6);
        __m128i b = _mm_srai_epi16(
            _mm_adds_epi16(_mm_adds_epi16(luma, _mm_srai_epi16(cb, 1)), _mm_mulhi_epi16(cb, bU)), 6);
        if (rgbx) {
            const __m128i t = r;
            r = b;
            b = t;
        }
        const __m128i bg = _mm_unpacklo_epi8(_mm_packus_epi16(b, b), _mm_packus_epi16(g, g));
        const __m128i rx = _mm_unpacklo_epi8(_mm_packus_epi16(r, r), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_unpacklo_epi16(bg, rx));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i + 16), _mm_unpackhi_epi16(bg, rx));
    }
    ToPixelsPlain(y + i, u + i, v + i, count - i, c, rgbx, out + 4 * i);
}

SSE2_KERNEL void TakeEvenBytesSse2(const BYTE* in, DWORD count, BYTE* out)
{
    const __m128i low = _mm_set1_epi16(0xFF);
    DWORD i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i)), low);
        const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i + 16)), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
    }
    TakeEvenBytesPlain(in + 2 * i, count - i, out + i);
}

SSE2_KERNEL void TakeOddBytesSse2(const BYTE* in, DWORD count, BYTE* out)
{
    DWORD i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i)), 8);
        const __m128i b = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i + 16)), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
    }
    TakeOddBytesPlain(in + 2 * i, count - i, out + i);
}

// Helpers of the kernels, always inlined into them (never called without SSE2).
#define SSE2_HELPER __attribute__((target("sse2"), always_inline)) inline

SSE2_HELPER __m128i Greater32(__m128i a, __m128i b)
{
    const __m128i aAbove = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(aAbove, a), _mm_andnot_si128(aAbove, b));
}

SSE2_HELPER __m128i LightOf(const ToneTables& t, int channel, BYTE code)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.light[channel][code]));
}

// A pixel at a time: its three channels are the lanes. Gathers and the gain's look-up are
// scalar (SSE2 has no gather); the sums, the clip, the brightest and the products are not.
SSE2_KERNEL void ToneMapRowSse2(BYTE* pixels, DWORD count, bool rgbx, const ToneTables& t)
{
    const int ri = rgbx ? 0 : 2, bi = rgbx ? 2 : 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias32 = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(-32768);
    for (DWORD i = 0; i < count; ++i, pixels += 4) {
        __m128i light = _mm_add_epi32(_mm_add_epi32(LightOf(t, 0, pixels[ri]), LightOf(t, 1, pixels[1])),
                                      LightOf(t, 2, pixels[bi]));
        light = _mm_and_si128(light, _mm_cmpgt_epi32(light, zero));
        __m128i brightest = Greater32(light, _mm_shuffle_epi32(light, _MM_SHUFFLE(1, 0, 3, 2)));
        brightest = Greater32(brightest, _mm_shuffle_epi32(brightest, _MM_SHUFFLE(2, 3, 0, 1)));
        const __m128i gain =
            _mm_set1_epi32(t.gain[ToneGainIndex(static_cast<DWORD>(_mm_cvtsi128_si32(brightest)))]);
        // 32 x 32 bits to 64 of lanes 0 and 2 (red, blue), then of lane 1 (green); each
        // shifted product is below 2^22, so its high half is 0.
        const __m128i redBlue = _mm_srli_epi64(_mm_mul_epu32(light, gain), kToneShift);
        const __m128i green = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(light, 32), gain), kToneShift);
        __m128i step = _mm_or_si128(redBlue, _mm_slli_epi64(green, 32));
        // At most kToneEncodeLast: signed saturation around 32768, which the exclusive or
        // then takes back.
        step = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(step, bias32), zero), bias16);
        pixels[ri] = t.encode[_mm_extract_epi16(step, 0)];
        pixels[1] = t.encode[_mm_extract_epi16(step, 1)];
        pixels[bi] = t.encode[_mm_extract_epi16(step, 2)];
    }
}

}  // namespace

void SelectYuvKernelsSse2(YuvKernels* pOut)
{
    pOut->blendRows = BlendRowsSse2;
    pOut->toPixels = ToPixelsSse2;
    pOut->takeEvenBytes = TakeEvenBytesSse2;
    pOut->takeOddBytes = TakeOddBytesSse2;
    pOut->toneMapRow = ToneMapRowSse2;
}
