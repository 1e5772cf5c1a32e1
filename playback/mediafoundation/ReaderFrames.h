// The second engine's frames: which format the source reader hands them out in, and how
// each gets into the presenter's offscreen surface. The decoder's own YUV format where
// it has one of those the converter takes (NV12, I420/YV12, YUY2, P010), turned into the
// display's pixels at their final size in one pass; RGB32 from the reader's own video
// processing where it has none (a decoder that gives RGB only, uncompressed RGB).
#pragma once

#include "playback/mediafoundation/MediaFoundation.h"

#include "playback/clipinfo/ClipHeaders.h"
#include "playback/present/YuvConvert.h"

class CFramePresenter;
class CSettingsDlg;

class CReaderFrames {
public:
    // What the file's own headers state: taken for what the reader's type leaves out
    // (before SelectOutput).
    void UseClipHeaders(const ClipHeaders& headers) { m_file = headers; }

    // Sets the first video stream's output type and reads its layout.
    bool SelectOutput(const MediaFoundationApi& mf, IMFSourceReader* pReader);
    // Reads the current output type again (after the reader said it changed).
    bool ReadFormat(IMFSourceReader* pReader);
    bool ReadFormat(IMFMediaType* pType);

    // The picture's size as shown, upright: the display aperture where the frames are
    // padded, its sides swapped where a quarter turn makes it upright.
    DWORD Width() const { return Turned() ? m_height : m_width; }
    DWORD Height() const { return Turned() ? m_width : m_height; }
    // The upright picture's pixel aspect ratio; 0:0 when the clip names none.
    UINT32 ParX() const { return Turned() ? m_parY : m_parX; }
    UINT32 ParY() const { return Turned() ? m_parX : m_parY; }
    // Degrees clockwise that turn the frames upright (YUV frames only).
    int Rotation() const { return m_yuv ? m_rotation : 0; }
    const YuvColour& Colour() const { return m_colour; }
    // Whether the frames are drawn at their final size (the presenter's blit is then 1:1).
    bool DrawsAtFinalSize() const { return m_yuv; }

    // Puts the sample's frame into the presenter's offscreen surface. S_FALSE: not drawn
    // (lost surfaces, restored; no view area on any screen). DDERR_WRONGMODE: the surface
    // belongs to an old display mode (the presenter's Rebuild). Any other failure ends
    // the pass.
    HRESULT Draw(IMFSample* pSample, CFramePresenter* pPresenter, const CSettingsDlg& geometry);
    // The YUV frame converted into the whole target (false for RGB32 frames).
    HRESULT DrawYuv(IMFSample* pSample, const PixelTarget& target);
    void UseSse2(bool use) { m_sse2 = use && CanUseSse2(); }

private:
    // The sample's first buffer, locked for as long as the object lives.
    class LockedFrame;
    bool MakeImage(BYTE* scan0, LONG pitch, DWORD length, YuvImage* pImage) const;
    bool Turned() const { return Rotation() == 90 || Rotation() == 270; }
    void ReadColour(IMFMediaType* pType);
    // The field shown first for this sample, -1 for a progressive one.
    int FieldOf(IMFSample* pSample) const;
    HRESULT DrawRgb(const LockedFrame& frame, CFramePresenter* pPresenter);

    bool m_yuv = false;
    YuvLayout m_layout = YuvLayout::Nv12;
    YuvColour m_colour;
    // The decoded frame (padded) and the picture's place in it.
    DWORD m_frameWidth = 0, m_frameHeight = 0;
    DWORD m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    LONG m_stride = 0;  // bytes a row of the first plane; negative bottom-up (RGB only)
    UINT32 m_parX = 0, m_parY = 0;
    int m_rotation = 0;
    // MF_MT_INTERLACE_MODE, or what the file says where the type says nothing.
    UINT32 m_interlace = MFVideoInterlace_Progressive;
    ClipHeaders m_file;
    bool m_sse2 = CanUseSse2();
    CYuvScaler m_scaler;
};
