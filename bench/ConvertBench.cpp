// The one-pass frame converter alone, built natively (tools/bench.sh convert): a 1280 x 720
// frame into 1024 x 576 32-bit pixels, upright and turned, SDR (NV12) and HDR (P010, PQ
// and HLG), plain and SSE2; ms a frame, the median of 5 runs of N frames. The frames are
// the files the script makes with ffmpeg, which then times its own scaler (and tone-map)
// on the same frames for the ratios. Built with CONVERT_BENCH_UPRIGHT_ONLY against an
// earlier version's converter, it times the upright case alone.
//   convert_bench <nv12 file> <p010 file> [frames]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "playback/present/YuvConvert.h"

namespace {
const DWORD kW = 1280, kH = 720, kOutW = 1024, kOutH = 576;

bool ReadFile(const char* path, std::vector<BYTE>* pData, size_t size)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    pData->resize(size);
    const bool ok = fread(pData->data(), 1, size, f) == size;
    fclose(f);
    return ok;
}

double MsPerFrame(const YuvImage& image, const YuvColour& colour, bool sse2, int frames)
{
#ifdef CONVERT_BENCH_UPRIGHT_ONLY
    const bool turned = false;
#else
    const bool turned = image.rotation == 90 || image.rotation == 270;
#endif
    std::vector<BYTE> pixels(kOutW * kOutH * 4);
    PixelTarget target;
    target.pixels = pixels.data();
    target.width = turned ? kOutH : kOutW;
    target.height = turned ? kOutW : kOutH;
    target.pitch = static_cast<LONG>(target.width * 4);
    target.bits = 32;
    target.rMask = 0xFF0000;
    target.gMask = 0xFF00;
    target.bMask = 0xFF;
    CYuvScaler scaler;
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) {
            if (!scaler.Convert(image, colour, target, sse2))
                return -1;
        }
        runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
                       frames);
    }
    std::sort(runs.begin(), runs.end());
    return runs[2];
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: convert_bench <nv12 file> <p010 file> [frames]\n");
        return 2;
    }
    const int frames = argc > 3 ? atoi(argv[3]) : 100;
    std::vector<BYTE> nv12, p010;
    if (!ReadFile(argv[1], &nv12, kW * kH * 3 / 2) || !ReadFile(argv[2], &p010, kW * kH * 3)) {
        fprintf(stderr, "convert_bench: cannot read the frames\n");
        return 1;
    }
    YuvImage sdr;
    sdr.layout = YuvLayout::Nv12;
    sdr.planes[0] = nv12.data();
    sdr.planes[1] = nv12.data() + kW * kH;
    sdr.pitches[0] = sdr.pitches[1] = kW;
    sdr.width = kW;
    sdr.height = kH;
#ifdef CONVERT_BENCH_UPRIGHT_ONLY
    YuvColour bt709;
    bt709.bt709 = true;  // that version's form
    printf("upright sse2 %.3f\n", MsPerFrame(sdr, bt709, true, frames));
    return 0;
#else
    YuvImage hdr = sdr;
    hdr.layout = YuvLayout::P010;
    hdr.planes[0] = p010.data();
    hdr.planes[1] = p010.data() + kW * kH * 2;
    hdr.pitches[0] = hdr.pitches[1] = kW * 2;
    YuvImage turned = sdr;
    turned.rotation = 90;
    YuvColour bt709;
    bt709.matrix = YuvMatrix::Bt709;
    YuvColour pq, hlg;
    pq.matrix = hlg.matrix = YuvMatrix::Bt2020;
    pq.transfer = YuvTransfer::Pq;
    hlg.transfer = YuvTransfer::Hlg;
    const struct {
        const char* name;
        const YuvImage* image;
        const YuvColour* colour;
    } cases[] = {
        { "upright", &sdr, &bt709 }, { "turned", &turned, &bt709 }, { "pq", &hdr, &pq }, { "hlg", &hdr, &hlg },
    };
    for (const auto& c : cases) {
        for (bool sse2 : { false, true })
            printf("%s %s %.3f\n", c.name, sse2 ? "sse2" : "plain", MsPerFrame(*c.image, *c.colour, sse2, frames));
    }
    return 0;
#endif
}
