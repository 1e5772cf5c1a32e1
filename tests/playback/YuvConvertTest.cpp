// The one-pass YUV conversion: colours of each matrix and range in each layout, the
// scaling filter, the display aperture and odd sizes, every display format, turned
// pictures, one field of an interlaced frame, HDR against ffmpeg's tone-mapping, and the
// SSE2 kernels (the tone-map's included) against the plain ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "playback/present/YuvConvert.h"
#include "playback/present/YuvKernels.h"
#include "common/TestSupport.h"

namespace {

struct Yuv {
    int y, u, v;
};

// What an encoder stores for an RGB colour (the standard's forward matrix, rounded).
Yuv Encode(int r, int g, int b, bool bt709, bool full)
{
    const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114, kg = 1 - kr - kb;
    const double y = (kr * r + kg * g + kb * b) / 255, cb = (b / 255.0 - y) / (2 * (1 - kb)),
                 cr = (r / 255.0 - y) / (2 * (1 - kr));
    auto store = [](double v) { return v < 0 ? 0 : v > 255 ? 255 : int(std::lround(v)); };
    if (full)
        return { store(y * 255), store(128 + cb * 255), store(128 + cr * 255) };
    return { store(16 + y * 219), store(128 + cb * 224), store(128 + cr * 224) };
}

// A decoded frame of one layout, its planes exactly as large as the layout needs (so a
// read past them shows under a debugger's heap checks), filled by a per-pixel function.
struct Frame {
    std::vector<BYTE> planes[3];
    YuvImage image;

    template <class Fill>  // Fill(x, y) -> Yuv for luma pixel x, y
    Frame(YuvLayout layout, DWORD w, DWORD h, Fill fill)
    {
        const DWORD cw = (w + 1) / 2, ch = layout == YuvLayout::Yuy2 ? h : (h + 1) / 2;
        image.layout = layout;
        image.width = w;
        image.height = h;
        const bool wide = layout == YuvLayout::P010;
        auto put = [&](std::vector<BYTE>& p, DWORD at, int value) {
            if (wide) {  // 10 bits in the top of 16, as P010 has them
                const int v10 = value * 4;
                p[at] = BYTE((v10 << 6) & 0xFF);
                p[at + 1] = BYTE(v10 >> 2);
            } else {
                p[at] = BYTE(value);
            }
        };
        const DWORD sample = wide ? 2 : 1;
        if (layout == YuvLayout::Yuy2) {
            image.pitches[0] = LONG(cw * 4);
            planes[0].assign(cw * 4 * h, 0);
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x) {
                    const Yuv c = fill(x, y), even = fill(x & ~1u, y);
                    planes[0][y * cw * 4 + 2 * x] = BYTE(c.y);
                    planes[0][y * cw * 4 + (x & ~1u) * 2 + 1] = BYTE(even.u);
                    planes[0][y * cw * 4 + (x & ~1u) * 2 + 3] = BYTE(even.v);
                }
        } else {
            image.pitches[0] = LONG(w * sample);
            planes[0].assign(w * h * sample, 0);
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x)
                    put(planes[0], (y * w + x) * sample, fill(x, y).y);
            const bool interleaved = layout == YuvLayout::Nv12 || wide;
            for (int p = 1; p <= (interleaved ? 1 : 2); ++p) {
                image.pitches[p] = LONG(cw * sample * (interleaved ? 2 : 1));
                planes[p].assign(image.pitches[p] * ch, 0);
            }
            for (DWORD y = 0; y < ch; ++y)
                for (DWORD x = 0; x < cw; ++x) {
                    const Yuv c = fill(2 * x, 2 * y);
                    if (interleaved) {
                        put(planes[1], y * image.pitches[1] + 2 * x * sample, c.u);
                        put(planes[1], y * image.pitches[1] + (2 * x + 1) * sample, c.v);
                    } else {
                        planes[1][y * cw + x] = BYTE(c.u);
                        planes[2][y * cw + x] = BYTE(c.v);
                    }
                }
        }
        for (int p = 0; p < 3; ++p)
            image.planes[p] = planes[p].empty() ? nullptr : planes[p].data();
    }
};

struct Target {
    std::vector<BYTE> pixels;
    PixelTarget target;
    Target(DWORD w, DWORD h, DWORD bits = 32, DWORD r = 0xFF0000, DWORD g = 0xFF00, DWORD b = 0xFF)
    {
        target.pitch = LONG(w * bits / 8 + 4);  // rows with a gap, which must stay untouched
        pixels.assign(target.pitch * h, 0xAB);
        target.pixels = pixels.data();
        target.width = w;
        target.height = h;
        target.bits = bits;
        target.rMask = r;
        target.gMask = g;
        target.bMask = b;
    }
    // Red, green, blue of a 32-bit BGRX pixel.
    void Rgb(DWORD x, DWORD y, int* rgb) const
    {
        const BYTE* p = &pixels[y * target.pitch + x * 4];
        rgb[0] = p[2], rgb[1] = p[1], rgb[2] = p[0];
    }
};

const YuvLayout kLayouts[] = { YuvLayout::Nv12, YuvLayout::I420, YuvLayout::Yuy2, YuvLayout::P010 };
const char* const kLayoutNames[] = { "NV12", "I420", "YUY2", "P010" };

}  // namespace

TEST(YuvConvert, ColoursOfEachMatrixAndRangeInEachLayout)
{
    const int colours[][3] = { { 0, 0, 0 }, { 255, 255, 255 }, { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 },
                               { 128, 128, 128 }, { 255, 255, 0 }, { 255, 0, 255 }, { 16, 200, 120 } };
    for (int matrix = 0; matrix < 2; ++matrix)
        for (int full = 0; full < 2; ++full)
            for (int l = 0; l < 4; ++l)
                for (bool sse2 : { false, true }) {
                    if (sse2 && !CanUseSse2())
                        continue;
                    SCOPED_TRACE(testing::Message() << (matrix ? "BT.709 " : "BT.601 ") << (full ? "full " : "limited ")
                                                    << kLayoutNames[l] << (sse2 ? " SSE2" : " plain"));
                    for (const auto& c : colours) {
                        const Yuv yuv = Encode(c[0], c[1], c[2], matrix, full);
                        Frame frame(kLayouts[l], 6, 4, [&](DWORD, DWORD) { return yuv; });
                        Target out(6, 4);
                        YuvColour colour;
                        colour.matrix = matrix ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
                        colour.fullRange = full;
                        CYuvScaler scaler;
                        ASSERT_TRUE(scaler.Convert(frame.image, colour, out.target, sse2));
                        int rgb[3];
                        out.Rgb(5, 3, rgb);
                        for (int i = 0; i < 3; ++i)
                            EXPECT_NEAR(c[i], rgb[i], 3) << "colour " << c[0] << "," << c[1] << "," << c[2];
                    }
                }
}

TEST(YuvConvert, ScalesWithAFilterAndKeepsToThePicture)
{
    const Yuv black = Encode(0, 0, 0, false, false), white = Encode(255, 255, 255, false, false),
              green = Encode(0, 255, 0, false, false);
    YuvColour colour;
    for (int l = 0; l < 4; ++l) {
        SCOPED_TRACE(kLayoutNames[l]);
        // Columns two pixels wide, black and white, halved: a filter gives grey; picking
        // pixels would give all black or all white.
        Frame stripes(kLayouts[l], 64, 8, [&](DWORD x, DWORD) { return (x / 2) % 2 ? white : black; });
        Target half(16, 4);
        CYuvScaler scaler;
        ASSERT_TRUE(scaler.Convert(stripes.image, colour, half.target, CanUseSse2()));
        for (DWORD x = 0; x < 16; ++x) {
            int rgb[3];
            half.Rgb(x, 2, rgb);
            EXPECT_NEAR(128, rgb[1], 8) << "column " << x;
        }
        // Two bands of the same luma and opposite chroma, one over the other, enlarged
        // down the picture: the rows where they meet blend their chroma (towards grey), as
        // far from either band as the luma filter would take them.
        const Yuv upper = { 128, 64, 192 }, lower = { 128, 192, 64 };
        Frame bands(kLayouts[l], 4, 16, [&](DWORD, DWORD y) { return y < 8 ? upper : lower; });
        Target tall(4, 48);
        ASSERT_TRUE(scaler.Convert(bands.image, colour, tall.target, CanUseSse2()));
        auto redLessBlue = [&](DWORD y) {
            int rgb[3];
            tall.Rgb(2, y, rgb);
            return rgb[0] - rgb[2];
        };
        int leastApart = 255;
        for (DWORD y = 18; y < 30; ++y)
            leastApart = std::min(leastApart, std::abs(redLessBlue(y)));
        EXPECT_GT(redLessBlue(0), 200);
        EXPECT_LT(redLessBlue(47), -200);
        EXPECT_LT(leastApart, 100) << "no row blends the two bands' colours";
        // A 1080p frame padded to 1088 rows with green beyond the picture, shrunk to the
        // screen: no green reaches the last row.
        Frame padded(kLayouts[l], 192, 110, [&](DWORD, DWORD y) { return y >= 108 ? green : white; });
        padded.image.height = 108;
        Target shrunk(102, 57);
        ASSERT_TRUE(scaler.Convert(padded.image, colour, shrunk.target, CanUseSse2()));
        int rgb[3];
        shrunk.Rgb(50, 56, rgb);
        EXPECT_GT(rgb[0], 240) << "the padding was shown";
        // Odd sizes both ways, and a picture that starts inside the frame: every target
        // pixel written, nothing after a row's end.
        for (const auto& size : { std::make_pair(5u, 3u), std::make_pair(7u, 9u), std::make_pair(1u, 1u) }) {
            Frame odd(kLayouts[l], 9, 7, [&](DWORD x, DWORD) { return x < 2 ? green : white; });
            odd.image.left = 2;
            odd.image.top = 2;
            odd.image.width = 7;
            odd.image.height = 5;
            Target t(size.first, size.second);
            ASSERT_TRUE(scaler.Convert(odd.image, colour, t.target, CanUseSse2()));
            for (DWORD y = 0; y < size.second; ++y) {
                int px[3];
                t.Rgb(0, y, px);
                EXPECT_GT(px[0], 200) << "the picture's left edge is white";
                EXPECT_EQ(0xAB, t.pixels[y * t.target.pitch + size.first * 4]) << "wrote past row " << y;
            }
        }
    }
}

TEST(YuvConvert, EveryDisplayFormatGetsTheColour)
{
    const Yuv red = Encode(255, 0, 0, false, false);
    Frame frame(YuvLayout::Nv12, 4, 2, [&](DWORD, DWORD) { return red; });
    const struct {
        DWORD bits, r, g, b;
        std::vector<BYTE> pixel;
    } cases[] = {
        { 32, 0xFF0000, 0xFF00, 0xFF, { 0, 0, 255, 0 } },
        { 32, 0xFF, 0xFF00, 0xFF0000, { 255, 0, 0, 0 } },
        { 24, 0xFF0000, 0xFF00, 0xFF, { 0, 0, 255 } },
        { 16, 0xF800, 0x07E0, 0x1F, { 0x00, 0xF8 } },
        { 16, 0x7C00, 0x03E0, 0x1F, { 0x00, 0x7C } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, red " << std::hex << c.r);
        Target out(4, 2, c.bits, c.r, c.g, c.b);
        CYuvScaler scaler;
        ASSERT_TRUE(scaler.Convert(frame.image, YuvColour(), out.target, CanUseSse2()));
        const BYTE* last = &out.pixels[out.target.pitch + 3 * c.bits / 8];
        for (size_t i = 0; i < c.pixel.size(); ++i)
            EXPECT_NEAR(c.pixel[i], last[i], 1) << "byte " << i;
    }
    Target palette(4, 2, 8, 0, 0, 0);
    CYuvScaler scaler;
    EXPECT_FALSE(scaler.Convert(frame.image, YuvColour(), palette.target, false));
}

TEST(YuvConvert, Sse2KernelsGiveThePlainOnesBytes)
{
    if (!CanUseSse2())
        GTEST_SKIP() << "no SSE2 here";
    YuvKernels plain, sse2;
    SelectYuvKernels(false, &plain);
    SelectYuvKernels(true, &sse2);
    std::srand(7);
    std::vector<BYTE> a(200), b(200), c(200);
    for (auto* v : { &a, &b, &c })
        for (BYTE& x : *v)
            x = BYTE(std::rand());
    for (DWORD count : { 1u, 7u, 8u, 15u, 16u, 17u, 33u, 99u }) {
        SCOPED_TRACE(count);
        for (DWORD weight : { 1u, 77u, 128u, 255u }) {
            std::vector<BYTE> p(count), s(count);
            plain.blendRows(a.data(), b.data(), weight, count, p.data());
            sse2.blendRows(a.data(), b.data(), weight, count, s.data());
            EXPECT_EQ(p, s) << "blend, weight " << weight;
        }
        for (int m = 0; m < 6; ++m)
            for (bool rgbx : { false, true }) {
                YuvCoefficients k;
                MakeYuvCoefficients(m / 2, m & 1, &k);
                std::vector<BYTE> p(count * 4), s(count * 4);
                plain.toPixels(a.data(), b.data(), c.data(), count, k, rgbx, p.data());
                sse2.toPixels(a.data(), b.data(), c.data(), count, k, rgbx, s.data());
                EXPECT_EQ(p, s) << "pixels, matrix " << m << (rgbx ? " rgbx" : "");
            }
        std::vector<BYTE> p(count), s(count);
        plain.takeOddBytes(a.data(), count, p.data());
        sse2.takeOddBytes(a.data(), count, s.data());
        EXPECT_EQ(p, s) << "odd bytes";
        plain.takeEvenBytes(a.data(), count, p.data());
        sse2.takeEvenBytes(a.data(), count, s.data());
        EXPECT_EQ(p, s) << "even bytes";
    }
    // The tone-map, on random colours (many outside BT.709, many past the peak), with each
    // transfer, into both 32-bit byte orders.
    Frame noise(YuvLayout::Nv12, 256, 64, [](DWORD, DWORD) {
        return Yuv{ std::rand() & 255, std::rand() & 255, std::rand() & 255 };
    });
    for (YuvTransfer transfer : { YuvTransfer::Pq, YuvTransfer::Hlg })
        for (bool rgbx : { false, true }) {
            YuvColour colour;
            colour.matrix = YuvMatrix::Bt2020;
            colour.fullRange = true;
            colour.transfer = transfer;
            const DWORD red = rgbx ? 0xFF : 0xFF0000, blue = rgbx ? 0xFF0000 : 0xFF;
            Target p(256, 64, 32, red, 0xFF00, blue), s(256, 64, 32, red, 0xFF00, blue);
            CYuvScaler scaler;
            ASSERT_TRUE(scaler.Convert(noise.image, colour, p.target, false));
            ASSERT_TRUE(scaler.Convert(noise.image, colour, s.target, true));
            EXPECT_EQ(p.pixels, s.pixels) << "tone-map, " << (transfer == YuvTransfer::Pq ? "PQ" : "HLG")
                                          << (rgbx ? " rgbx" : "");
        }
}

namespace {

// Where the stored pixel x, y of a w x h frame goes in the upright picture.
void Upright(int rotation, DWORD w, DWORD h, DWORD x, DWORD y, DWORD* u, DWORD* v)
{
    switch (rotation) {
    case 90: *u = h - 1 - y, *v = x; break;
    case 180: *u = w - 1 - x, *v = h - 1 - y; break;
    case 270: *u = y, *v = w - 1 - x; break;
    default: *u = x, *v = y; break;
    }
}

}  // namespace

TEST(YuvConvert, TurnedPicturesAreUprightInEveryFormat)
{
    // Four quarters as the picture is seen: red, green over blue, yellow. Stored turned,
    // each as a phone stores it with the rotation that turns it back.
    const int quarters[4][3] = { { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 }, { 255, 255, 0 } };
    const struct {
        DWORD bits, r, g, b;
    } formats[] = { { 32, 0xFF0000, 0xFF00, 0xFF }, { 32, 0xFF, 0xFF00, 0xFF0000 }, { 24, 0xFF0000, 0xFF00, 0xFF },
                    { 16, 0xF800, 0x07E0, 0x1F }, { 16, 0x7C00, 0x03E0, 0x1F } };
    const DWORD sw = 32, sh = 16;
    for (int l = 0; l < 4; ++l)
        for (int rotation : { 0, 90, 180, 270 }) {
            const bool turned = rotation % 180 != 0;
            const DWORD uw = turned ? sh : sw, uh = turned ? sw : sh;
            Frame frame(kLayouts[l], sw, sh, [&](DWORD x, DWORD y) {
                DWORD u, v;
                Upright(rotation, sw, sh, x, y, &u, &v);
                const int* c = quarters[(v >= uh / 2 ? 2 : 0) + (u >= uw / 2 ? 1 : 0)];
                return Encode(c[0], c[1], c[2], false, false);
            });
            frame.image.rotation = rotation;
            for (const auto& f : formats) {
                SCOPED_TRACE(testing::Message() << kLayoutNames[l] << ", turned " << rotation << ", " << f.bits
                                                << " bits, red " << std::hex << f.r);
                // Scaled up the upright picture's way, and across.
                const DWORD tw = uw * 3 / 2, th = uh * 5 / 4;
                Target plain(tw, th, f.bits, f.r, f.g, f.b), sse2(tw, th, f.bits, f.r, f.g, f.b);
                CYuvScaler scaler;
                ASSERT_TRUE(scaler.Convert(frame.image, YuvColour(), plain.target, false));
                if (CanUseSse2()) {
                    ASSERT_TRUE(scaler.Convert(frame.image, YuvColour(), sse2.target, true));
                    EXPECT_EQ(plain.pixels, sse2.pixels) << "SSE2 gave other bytes";
                }
                // The turn is only where each pixel goes: the unturned conversion into the
                // frame's own orientation, turned here, gives the same bytes.
                const DWORD bytes = f.bits / 8, ow = turned ? th : tw, oh = turned ? tw : th;
                Target own(ow, oh, f.bits, f.r, f.g, f.b);
                YuvImage unturned = frame.image;
                unturned.rotation = 0;
                ASSERT_TRUE(scaler.Convert(unturned, YuvColour(), own.target, false));
                bool same = true;
                for (DWORD y = 0; y < oh && same; ++y)
                    for (DWORD x = 0; x < ow && same; ++x) {
                        DWORD u, v;
                        Upright(rotation, ow, oh, x, y, &u, &v);
                        same = !std::memcmp(&own.pixels[y * own.target.pitch + x * bytes],
                                            &plain.pixels[v * plain.target.pitch + u * bytes], bytes);
                        EXPECT_TRUE(same) << "pixel " << x << "," << y << " not at " << u << "," << v;
                    }
                for (DWORD y = 0; y < th; ++y)
                    EXPECT_EQ(0xAB, plain.pixels[y * plain.target.pitch + tw * bytes]) << "wrote past row " << y;
                if (f.bits != 32 || f.r != 0xFF0000)
                    continue;
                for (int q = 0; q < 4; ++q) {
                    int rgb[3];
                    plain.Rgb((q & 1 ? 3 : 1) * tw / 4, (q & 2 ? 3 : 1) * th / 4, rgb);
                    for (int i = 0; i < 3; ++i)
                        EXPECT_NEAR(quarters[q][i], rgb[i], 4) << "quarter " << q;
                }
            }
        }
}

TEST(YuvConvert, AnInterlacedFrameShowsOneFieldWithoutCombs)
{
    // The top field white, the bottom one black: shown whole, every second row differs.
    const Yuv white = Encode(255, 255, 255, false, false), black = Encode(0, 0, 0, false, false);
    for (int l = 0; l < 4; ++l)
        for (const auto& size : { std::make_pair(16u, 12u), std::make_pair(9u, 7u), std::make_pair(10u, 6u) })
            for (DWORD top : { 0u, 1u }) {
                SCOPED_TRACE(testing::Message() << kLayoutNames[l] << " " << size.first << "x" << size.second
                                                << " from row " << top);
                Frame frame(kLayouts[l], size.first, size.second, [&](DWORD, DWORD y) { return y % 2 ? black : white; });
                frame.image.top = top;
                frame.image.height = size.second - top;
                for (int field : { -1, 0, 1 }) {
                    frame.image.field = field;
                    Target out(12, 20);
                    CYuvScaler scaler;
                    ASSERT_TRUE(scaler.Convert(frame.image, YuvColour(), out.target, CanUseSse2()));
                    int low = 255, high = 0;
                    for (DWORD y = 0; y < 20; ++y) {
                        int rgb[3];
                        out.Rgb(6, y, rgb);
                        low = std::min(low, rgb[1]);
                        high = std::max(high, rgb[1]);
                    }
                    if (field == -1) {
                        EXPECT_GT(high - low, 100) << "the frame has no combs to remove";
                    } else {
                        EXPECT_LE(high - low, 3) << "field " << field << ": combs";
                        EXPECT_NEAR(field == 0 ? 255 : 0, low, 3) << "not the field asked for";
                    }
                }
            }
}

TEST(YuvConvert, HdrIsToneMappedCloseToFfmpegs)
{
    // Stated tolerance, per channel over the whole picture: a mean difference of at most 6
    // and 98 % of samples within 24 (the converter reads 8 of P010's 10 bits, and its
    // chroma filter differs from ffmpeg's at the picture's edges).
    for (const char* transfer : { "smpte2084", "arib-std-b67" }) {
        const std::string path = ExeDir() + "clips\\hdr-" + transfer + ".p010";
        std::string frame = ReadAll(path), reference = ReadAll(path + ".rgb");
        const DWORD w = 320, h = 240;
        ASSERT_EQ(size_t(w) * h * 3, frame.size());
        ASSERT_EQ(size_t(w) * h * 3, reference.size());
        YuvImage image;
        image.layout = YuvLayout::P010;
        image.planes[0] = reinterpret_cast<const BYTE*>(frame.data());
        image.planes[1] = image.planes[0] + w * h * 2;
        image.pitches[0] = image.pitches[1] = LONG(w * 2);
        image.width = w;
        image.height = h;
        YuvColour colour;
        colour.matrix = YuvMatrix::Bt2020;
        colour.transfer = transfer[0] == 's' ? YuvTransfer::Pq : YuvTransfer::Hlg;
        std::vector<BYTE> outputs[2];
        for (bool sse2 : { false, true }) {
            if (sse2 && !CanUseSse2())
                continue;
            SCOPED_TRACE(testing::Message() << transfer << (sse2 ? " SSE2" : " plain"));
            Target out(w, h);
            CYuvScaler scaler;
            ASSERT_TRUE(scaler.Convert(image, colour, out.target, sse2));
            double total = 0;
            size_t within = 0;
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x) {
                    int rgb[3];
                    out.Rgb(x, y, rgb);
                    for (int c = 0; c < 3; ++c) {
                        const int d = std::abs(rgb[c] - static_cast<BYTE>(reference[(y * w + x) * 3 + c]));
                        total += d;
                        within += d <= 24;
                    }
                }
            const double samples = 3.0 * w * h;
            EXPECT_LE(total / samples, 6.0);
            EXPECT_GE(within / samples, 0.98);
            std::printf("%s%s: mean difference %.2f, %.2f %% within 24\n", transfer, sse2 ? " SSE2" : "",
                        total / samples, 100 * within / samples);
            outputs[sse2] = out.pixels;
        }
        if (!outputs[1].empty()) {
            EXPECT_EQ(outputs[0], outputs[1]) << "SSE2 gave other bytes";
        }
        // Shown as if it were SDR (the fault this guards against): far from it.
        Target flat(w, h);
        CYuvScaler scaler;
        YuvColour sdr;
        sdr.matrix = YuvMatrix::Bt2020;
        ASSERT_TRUE(scaler.Convert(image, sdr, flat.target, false));
        double total = 0;
        for (DWORD i = 0; i < w * h; ++i)
            total += std::abs(flat.pixels[(i / w) * flat.target.pitch + (i % w) * 4 + 1] -
                              static_cast<BYTE>(reference[i * 3 + 1]));
        EXPECT_GT(total / (w * h), 10.0) << transfer << ": the frame does not tell HDR from SDR";
    }
}
