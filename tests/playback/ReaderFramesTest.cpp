// The second engine's frame path on real clips: the source reader's own YUV output of
// clips made by ffmpeg with known colours, turned into pixels by the engine and read
// back. Windows' decoders describe the stream's matrix and range in the output type;
// Wine's describe neither, so the table gives the type what Windows' would, from the
// tags ffmpeg wrote; untagged rows get nothing and must fall back as players do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playback/mediafoundation/MediaFoundation.h"
#include "playback/mediafoundation/ReaderFrames.h"
#include "support/Scoped.h"
#include "common/TestSupport.h"

namespace {

const DWORD kVideo = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);


class ReaderFrames : public testing::Test {
protected:
    void SetUp() override
    {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_mf = GetMediaFoundation();
        ASSERT_TRUE(m_mf != nullptr);
        ASSERT_HRESULT_SUCCEEDED(m_mf->MFStartup(kMediaFoundationVersion, MFSTARTUP_NOSOCKET));
    }
    void TearDown() override
    {
        if (m_mf)
            m_mf->MFShutdown();
        ::CoUninitialize();
    }
    const MediaFoundationApi* m_mf = nullptr;
};

}  // namespace

TEST_F(ReaderFrames, ColoursFollowTheClipsMatrixAndRange)
{
    const struct {
        const char* clip;
        UINT32 matrix;  // as Windows' decoder states it; 0: stated nowhere
        UINT32 range;
        DWORD width, height;
        UINT32 parX, parY;  // the pixel shape it states (Wine's state none); 0: none
    } rows[] = {
        { "bars-601-tv.mp4", MFVideoTransferMatrix_BT601, MFNominalRange_16_235, 320, 240, 64, 45 },
        { "bars-601-pc.mp4", MFVideoTransferMatrix_BT601, MFNominalRange_0_255, 320, 240, 1, 1 },
        { "bars-709-tv.mp4", MFVideoTransferMatrix_BT709, MFNominalRange_16_235, 320, 240, 4, 3 },
        { "bars-709-pc.mp4", MFVideoTransferMatrix_BT709, MFNominalRange_0_255, 320, 240, 8, 9 },
        { "bars-sd.mp4", 0, 0, 320, 240, 0, 0 },    // SD, untagged: BT.601, limited
        { "bars-hd.mp4", 0, 0, 1280, 720, 0, 0 },   // HD, untagged: BT.709, limited
        { "bars-p010.mp4", MFVideoTransferMatrix_BT709, MFNominalRange_16_235, 320, 240, 0, 0 },
    };
    for (const auto& row : rows)
        for (bool sse2 : { false, true }) {
            SCOPED_TRACE(testing::Message() << row.clip << (sse2 ? " SSE2" : " plain"));
            const std::string path = ExeDir() + "clips\\" + row.clip;
            // ffmpeg's own conversion of the first frame, 3 bytes a pixel, top row first.
            const std::string reference = ReadAll(path + ".rgb");
            ASSERT_EQ(size_t(row.width) * row.height * 3, reference.size());
            WCHAR wide[MAX_PATH];
            ASSERT_TRUE(::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH));
            ComPtr<IMFAttributes> attributes;
            ComPtr<IMFSourceReader> reader;
            ASSERT_HRESULT_SUCCEEDED(m_mf->MFCreateAttributes(attributes.Receive(), 1));
            attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
            const bool tenBits = std::string(row.clip).find("p010") != std::string::npos;
            const HRESULT opened = m_mf->MFCreateSourceReaderFromURL(wide, attributes.Get(), reader.Receive());
            if (tenBits && FAILED(opened))
                continue;  // Wine 10 opens no 10-bit H.264; Windows' decoder hands it out as P010
            ASSERT_HRESULT_SUCCEEDED(opened);
            CReaderFrames frames;
            frames.UseSse2(sse2);
            ASSERT_TRUE(frames.SelectOutput(*m_mf, reader.Get()));
            ASSERT_TRUE(frames.DrawsAtFinalSize()) << "the reader gave no YUV format";
            ComPtr<IMFMediaType> type;
            ASSERT_HRESULT_SUCCEEDED(reader->GetCurrentMediaType(kVideo, type.Receive()));
            GUID subtype = GUID_NULL;
            type->GetGUID(MF_MT_SUBTYPE, &subtype);
            if (tenBits && subtype != MFVideoFormat_P010)
                continue;  // this reader hands 10-bit clips out as 8 bits: the other rows cover it
            if (row.matrix) {
                type->SetUINT32(MF_MT_YUV_MATRIX, row.matrix);
                type->SetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, row.range);
            } else {
                type->DeleteItem(MF_MT_YUV_MATRIX);
                type->DeleteItem(MF_MT_VIDEO_NOMINAL_RANGE);
            }
            if (row.parX)
                type->SetUINT64(MF_MT_PIXEL_ASPECT_RATIO, (UINT64(row.parX) << 32) | row.parY);
            else
                type->DeleteItem(MF_MT_PIXEL_ASPECT_RATIO);
            ASSERT_TRUE(frames.ReadFormat(type.Get()));
            EXPECT_EQ(row.width, frames.Width());
            EXPECT_EQ(row.height, frames.Height());
            EXPECT_EQ(row.parX, frames.ParX());
            EXPECT_EQ(row.parY, frames.ParY());

            DWORD stream = 0, flags = 0;
            LONGLONG time = 0;
            ComPtr<IMFSample> sample;
            ASSERT_HRESULT_SUCCEEDED(reader->ReadSample(kVideo, 0, &stream, &flags, &time, sample.Receive()));
            ASSERT_TRUE(sample);
            // Drawn at a quarter of the width, as a preview would show it: the bars' centres
            // keep their colours through the filter.
            const DWORD w = row.width / 4, h = row.height / 4;
            std::vector<BYTE> pixels(w * h * 4);
            PixelTarget target;
            target.pixels = pixels.data();
            target.pitch = static_cast<LONG>(w * 4);
            target.width = w;
            target.height = h;
            target.bits = 32;
            target.rMask = 0xFF0000;
            target.gMask = 0xFF00;
            target.bMask = 0xFF;
            ASSERT_HRESULT_SUCCEEDED(frames.DrawYuv(sample.Get(), target));
            for (int bar = 0; bar < 4; ++bar) {
                const BYTE* p = &pixels[((h / 2) * w + (2 * bar + 1) * w / 8) * 4];
                const BYTE* ref = reinterpret_cast<const BYTE*>(&reference[((row.height / 2) * row.width + (2 * bar + 1) * row.width / 8) * 3]);
                const int got[3] = { p[2], p[1], p[0] };
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(ref[c], got[c], 3) << "bar " << bar << " channel " << "RGB"[c];
            }
        }
}
