#include "playback/mediafoundation/ReaderFrames.h"

#include <ddraw.h>

#include "support/Scoped.h"
#include "playback/present/FrameCopy.h"
#include "playback/present/FramePresenter.h"
#include "playback/mediafoundation/MediaFoundation.h"

namespace {

const DWORD kVideo = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

struct YuvSubtype {
    const GUID* subtype;
    YuvLayout layout;
};

// In the order asked for where the decoder's output is not known: NV12 is what the
// H.264, HEVC and VP9 decoders give, P010 their 10-bit output, YUY2 the MJPEG decoder's.
const YuvSubtype kYuvSubtypes[] = {
    { &MFVideoFormat_NV12, YuvLayout::Nv12 }, { &MFVideoFormat_P010, YuvLayout::P010 },
    { &MFVideoFormat_YUY2, YuvLayout::Yuy2 }, { &MFVideoFormat_I420, YuvLayout::I420 },
    { &MFVideoFormat_IYUV, YuvLayout::I420 }, { &MFVideoFormat_YV12, YuvLayout::Yv12 },
};

const YuvSubtype* FindYuv(const GUID& subtype)
{
    for (const YuvSubtype& s : kYuvSubtypes)
        if (*s.subtype == subtype)
            return &s;
    return nullptr;
}

bool IsRgb(const GUID& subtype)
{
    return subtype == MFVideoFormat_RGB32 || subtype == MFVideoFormat_ARGB32 || subtype == MFVideoFormat_RGB24 ||
           subtype == MFVideoFormat_RGB555 || subtype == MFVideoFormat_RGB565 || subtype == MFVideoFormat_RGB8;
}

HRESULT Ask(const MediaFoundationApi& mf, IMFSourceReader* pReader, const GUID& subtype)
{
    ComPtr<IMFMediaType> wanted;
    HRESULT hr = mf.MFCreateMediaType(wanted.Receive());
    if (SUCCEEDED(hr))
        hr = wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = wanted->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr))
        hr = pReader->SetCurrentMediaType(kVideo, nullptr, wanted.Get());
    return hr;
}

// The pixel aspect ratio of a type, if it names one.
bool PixelAspect(IMFMediaType* pType, UINT32* pX, UINT32* pY)
{
    UINT64 ratio = 0;
    if (!pType || FAILED(pType->GetUINT64(MF_MT_PIXEL_ASPECT_RATIO, &ratio)))
        return false;
    *pX = static_cast<UINT32>(ratio >> 32);
    *pY = static_cast<UINT32>(ratio);
    return *pX && *pY;
}

// The turn a type states (MFVideoRotationFormat: the clockwise turn to upright); 0 for none.
int StatedRotation(IMFMediaType* pType)
{
    UINT32 rotation = 0;
    if (FAILED(pType->GetUINT32(MF_MT_VIDEO_ROTATION, &rotation)))
        return 0;
    return rotation == 90 || rotation == 180 || rotation == 270 ? static_cast<int>(rotation) : 0;
}

// Bytes of one sample of the first plane.
DWORD SampleBytes(YuvLayout layout)
{
    return layout == YuvLayout::P010 || layout == YuvLayout::Yuy2 ? 2 : 1;
}

}  // namespace

bool CReaderFrames::SelectOutput(const MediaFoundationApi& mf, IMFSourceReader* pReader)
{
    ComPtr<IMFMediaType> native;
    GUID subtype = GUID_NULL;
    if (SUCCEEDED(pReader->GetNativeMediaType(kVideo, 0, native.Receive())))
        native->GetGUID(MF_MT_SUBTYPE, &subtype);
    // An uncompressed format of the file is taken as it stands; a compressed one as its
    // decoder gives it. Only where neither is YUV does the reader convert to RGB32.
    bool chosen = false;
    if (const YuvSubtype* own = FindYuv(subtype))
        chosen = SUCCEEDED(Ask(mf, pReader, *own->subtype));
    for (size_t i = 0; !chosen && !IsRgb(subtype) && i < sizeof(kYuvSubtypes) / sizeof(kYuvSubtypes[0]); ++i)
        chosen = SUCCEEDED(Ask(mf, pReader, *kYuvSubtypes[i].subtype));
    if (!chosen && FAILED(Ask(mf, pReader, MFVideoFormat_RGB32)))
        return false;
    return ReadFormat(pReader);
}

bool CReaderFrames::ReadFormat(IMFSourceReader* pReader)
{
    ComPtr<IMFMediaType> type, native;
    if (FAILED(pReader->GetCurrentMediaType(kVideo, type.Receive())) || !ReadFormat(type.Get()))
        return false;
    // The converted type may leave the decoder's pixel shape out: then the clip's own,
    // and where the platform states none (Wine's readers never do), the file's.
    if (FAILED(pReader->GetNativeMediaType(kVideo, 0, native.Receive())))
        native.Release();
    if (!m_parX && native && !PixelAspect(native.Get(), &m_parX, &m_parY))
        m_parX = m_parY = 0;
    if (!m_parX) {
        m_parX = m_file.parX;
        m_parY = m_file.parY;
    }
    // The decoder's output type may leave the source's turn out: then the source's.
    if (native && StatedRotation(native.Get()))
        m_rotation = StatedRotation(native.Get());
    return true;
}

bool CReaderFrames::ReadFormat(IMFMediaType* type)
{
    GUID subtype = GUID_NULL;
    UINT64 size = 0;
    if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) || FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size)))
        return false;
    const YuvSubtype* yuv = FindYuv(subtype);
    if (!yuv && subtype != MFVideoFormat_RGB32)
        return false;
    const DWORD frameWidth = static_cast<DWORD>(size >> 32), frameHeight = static_cast<DWORD>(size);
    if (frameWidth == 0 || frameHeight == 0 || frameWidth > 16384 || frameHeight > 16384)
        return false;
    m_yuv = yuv != nullptr;
    if (yuv)
        m_layout = yuv->layout;
    m_frameWidth = frameWidth;
    m_frameHeight = frameHeight;
    m_left = m_top = 0;
    m_width = frameWidth;
    m_height = frameHeight;
    // Decoders pad the frame (1920 x 1088 for 1080p); the aperture says what is picture.
    MFVideoArea area;
    UINT32 got = 0;
    if (SUCCEEDED(type->GetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<UINT8*>(&area), sizeof(area), &got)) &&
        got == sizeof(area) && area.OffsetX.value >= 0 && area.OffsetY.value >= 0 && area.Area.cx > 0 &&
        area.Area.cy > 0 && static_cast<DWORD>(area.OffsetX.value + area.Area.cx) <= frameWidth &&
        static_cast<DWORD>(area.OffsetY.value + area.Area.cy) <= frameHeight) {
        m_left = area.OffsetX.value;
        m_top = area.OffsetY.value;
        m_width = area.Area.cx;
        m_height = area.Area.cy;
    }
    UINT32 stride = 0;
    const DWORD rowBytes = m_yuv ? frameWidth * SampleBytes(m_layout) : frameWidth * 4;
    m_stride = SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) ? static_cast<LONG>(stride)
                                                                         : static_cast<LONG>(rowBytes);
    if (m_yuv && m_stride < 0)
        m_stride = -m_stride;  // YUV frames are always top-down
    ReadColour(type);
    if (!PixelAspect(type, &m_parX, &m_parY))
        m_parX = m_parY = 0;
    // The turn: the reader's word (Windows 8 on, from the file), else the file's own. A
    // stated 0 is no word: Wine's types say 0 of every clip.
    m_rotation = StatedRotation(type);
    if (!m_rotation)
        m_rotation = m_file.rotation;
    UINT32 interlace = 0;
    if (SUCCEEDED(type->GetUINT32(MF_MT_INTERLACE_MODE, &interlace)) && interlace != MFVideoInterlace_Unknown)
        m_interlace = interlace;
    else if (m_file.interlace == kTopFieldFirst || m_file.interlace == kInterlacedOrderUnstated)
        m_interlace = MFVideoInterlace_FieldInterleavedUpperFirst;
    else if (m_file.interlace == kBottomFieldFirst)
        m_interlace = MFVideoInterlace_FieldInterleavedLowerFirst;
    else
        m_interlace = MFVideoInterlace_Progressive;
    return true;
}

void CReaderFrames::ReadColour(IMFMediaType* type)
{
    // The clip's colours as its decoder describes them; where it says nothing, as the
    // file's headers do; where they say nothing either, what players assume: BT.709 from
    // HD sizes up, BT.601 below, and the limited range that video (other than JPEG, whose
    // decoders say so) is stored in.
    UINT32 matrix = 0, range = 0, transfer = 0;
    if (SUCCEEDED(type->GetUINT32(MF_MT_YUV_MATRIX, &matrix)) && matrix == MFVideoTransferMatrix_BT709)
        m_colour.matrix = YuvMatrix::Bt709;
    else if (matrix == MFVideoTransferMatrix_BT601)
        m_colour.matrix = YuvMatrix::Bt601;
    else if (matrix == MFVideoTransferMatrix_BT2020_10 || matrix == MFVideoTransferMatrix_BT2020_12)
        m_colour.matrix = YuvMatrix::Bt2020;
    else if (m_file.matrix)
        m_colour.matrix = m_file.matrix == kMatrixBt709    ? YuvMatrix::Bt709
                          : m_file.matrix == kMatrixBt2020 ? YuvMatrix::Bt2020
                                                           : YuvMatrix::Bt601;
    else
        m_colour.matrix = DefaultIsBt709(m_width, m_height) ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
    if (SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range)) &&
        (range == MFNominalRange_0_255 || range == MFNominalRange_16_235))
        m_colour.fullRange = range == MFNominalRange_0_255;
    else
        m_colour.fullRange = m_file.range == kRangeFull;
    // HDR: PQ or HLG, which the converter maps to the screen's SDR.
    if (FAILED(type->GetUINT32(MF_MT_TRANSFER_FUNCTION, &transfer)) || transfer == MFVideoTransFunc_Unknown)
        transfer = m_file.transfer == kTransferPq    ? MFVideoTransFunc_2084
                   : m_file.transfer == kTransferHlg ? MFVideoTransFunc_HLG
                                                     : MFVideoTransFunc_Unknown;
    m_colour.transfer = transfer == MFVideoTransFunc_2084  ? YuvTransfer::Pq
                        : transfer == MFVideoTransFunc_HLG ? YuvTransfer::Hlg
                                                           : YuvTransfer::Sdr;
}

int CReaderFrames::FieldOf(IMFSample* pSample) const
{
    switch (m_interlace) {
    case MFVideoInterlace_FieldInterleavedUpperFirst:
        return 0;
    case MFVideoInterlace_FieldInterleavedLowerFirst:
        return 1;
    case MFVideoInterlace_MixedInterlaceOrProgressive: {
        // Each sample says.
        UINT32 interlaced = 0, bottomFirst = 0;
        if (FAILED(pSample->GetUINT32(MFSampleExtension_Interlaced, &interlaced)) || !interlaced)
            return -1;
        pSample->GetUINT32(MFSampleExtension_BottomFieldFirst, &bottomFirst);
        return bottomFirst ? 1 : 0;
    }
    default:
        return -1;
    }
}

class CReaderFrames::LockedFrame {
public:
    LockedFrame(IMFSample* pSample, LONG stride, DWORD frameHeight)
    {
        if (FAILED(m_hr = pSample->GetBufferByIndex(0, m_buffer.Receive())))
            return;
        // A 2-D buffer gives its own pitch; for the others the type's stride holds, and
        // their length is checked against it.
        if (SUCCEEDED(m_buffer->QueryInterface(IID_IMF2DBuffer, m_buffer2d.ReceiveVoid())) &&
            SUCCEEDED(m_buffer2d->Lock2D(&scan0, &pitch)))
            return;
        m_buffer2d.Release();
        BYTE* data = nullptr;
        if (FAILED(m_hr = m_buffer->Lock(&data, nullptr, &length)))
            return;
        pitch = stride;
        // A bottom-up frame (negative stride) starts with its last row.
        const LONG rowBytes = pitch < 0 ? -pitch : pitch;
        scan0 = pitch < 0 ? data + static_cast<ULONGLONG>(rowBytes) * (frameHeight - 1) : data;
        m_locked = true;
    }
    ~LockedFrame()
    {
        if (m_buffer2d)
            m_buffer2d->Unlock2D();
        else if (m_locked)
            m_buffer->Unlock();
    }
    LockedFrame(const LockedFrame&) = delete;
    LockedFrame& operator=(const LockedFrame&) = delete;
    HRESULT Result() const { return m_hr; }

    BYTE* scan0 = nullptr;
    LONG pitch = 0;
    DWORD length = 0;  // 0 for a 2-D buffer, whose pitch and size are its own

private:
    HRESULT m_hr = S_OK;
    bool m_locked = false;
    ComPtr<IMFMediaBuffer> m_buffer;
    ComPtr<IMF2DBuffer> m_buffer2d;
};

namespace {

// A locked DirectDraw surface as the converter's target.
PixelTarget TargetOf(const DDSURFACEDESC& desc)
{
    const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
    PixelTarget target;
    target.pixels = static_cast<BYTE*>(desc.lpSurface);
    target.pitch = desc.lPitch;
    target.width = desc.dwWidth;
    target.height = desc.dwHeight;
    target.bits = (pf.dwFlags & DDPF_RGB) && !(pf.dwFlags & DDPF_PALETTEINDEXED8) ? pf.dwRGBBitCount : 0;
    target.rMask = pf.dwRBitMask;
    target.gMask = pf.dwGBitMask;
    target.bMask = pf.dwBBitMask;
    return target;
}

// Locks the surface for writing; S_FALSE where it was lost (and is restored now),
// DDERR_WRONGMODE where it belongs to an old display mode and never comes back.
HRESULT LockSurface(IDirectDrawSurface* pSurface, DDSURFACEDESC* pDesc)
{
    if (!pSurface)
        return E_POINTER;  // no surface could be made for a new frame size
    *pDesc = DDSURFACEDESC();
    pDesc->dwSize = sizeof(*pDesc);
    HRESULT hr = pSurface->Lock(nullptr, pDesc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    if (hr == DDERR_SURFACELOST)
        return pSurface->Restore() == DDERR_WRONGMODE ? DDERR_WRONGMODE : S_FALSE;
    return hr;
}

}  // namespace

HRESULT CReaderFrames::Draw(IMFSample* pSample, CFramePresenter* pPresenter, const CSettingsDlg& geometry)
{
    if (!m_yuv) {
        LockedFrame frame(pSample, m_stride, m_frameHeight);
        return FAILED(frame.Result()) ? frame.Result() : DrawRgb(frame, pPresenter);
    }
    IDirectDrawSurface* pSurface = nullptr;
    HRESULT hr = pPresenter->FinalSizeSurface(geometry, &pSurface);
    DDSURFACEDESC desc;
    if (hr == S_OK)
        hr = LockSurface(pSurface, &desc);
    if (hr != S_OK)
        return hr;
    hr = DrawYuv(pSample, TargetOf(desc));
    pSurface->Unlock(nullptr);
    return hr;
}

HRESULT CReaderFrames::DrawYuv(IMFSample* pSample, const PixelTarget& target)
{
    if (!m_yuv)
        return E_FAIL;
    LockedFrame frame(pSample, m_stride, m_frameHeight);
    YuvImage image;
    if (FAILED(frame.Result()))
        return frame.Result();
    if (!MakeImage(frame.scan0, frame.pitch, frame.length, &image))
        return E_FAIL;
    image.rotation = m_rotation;
    image.field = FieldOf(pSample);
    return m_scaler.Convert(image, m_colour, target, m_sse2) ? S_OK : E_FAIL;
}

bool CReaderFrames::MakeImage(BYTE* scan0, LONG pitch, DWORD length, YuvImage* pImage) const
{
    YuvImage& image = *pImage;
    image.layout = m_layout;
    image.left = m_left;
    image.top = m_top;
    image.width = m_width;
    image.height = m_height;
    // The planes follow each other: Y (of the padded height), then CbCr interleaved, or
    // Cb and Cr at half pitch (YV12: Cr first).
    const ULONGLONG lumaBytes = static_cast<ULONGLONG>(pitch) * m_frameHeight;
    const DWORD chromaRows = (m_frameHeight + 1) / 2;
    ULONGLONG needed = lumaBytes;
    image.planes[0] = scan0;
    image.pitches[0] = pitch;
    if (m_layout == YuvLayout::Nv12 || m_layout == YuvLayout::P010) {
        image.planes[1] = scan0 + lumaBytes;
        image.pitches[1] = pitch;
        needed += static_cast<ULONGLONG>(pitch) * chromaRows;
    } else if (m_layout != YuvLayout::Yuy2) {
        const LONG half = pitch / 2;
        const BYTE* first = scan0 + lumaBytes;
        const BYTE* second = first + static_cast<ULONGLONG>(half) * chromaRows;
        image.planes[1] = m_layout == YuvLayout::Yv12 ? second : first;
        image.planes[2] = m_layout == YuvLayout::Yv12 ? first : second;
        image.pitches[1] = image.pitches[2] = half;
        needed += 2 * static_cast<ULONGLONG>(half) * chromaRows;
    }
    return pitch > 0 && (!length || needed <= length);
}

HRESULT CReaderFrames::DrawRgb(const LockedFrame& frame, CFramePresenter* pPresenter)
{
    const LONG rowBytes = frame.pitch < 0 ? -frame.pitch : frame.pitch;
    if (frame.length && static_cast<ULONGLONG>(rowBytes) * m_frameHeight > frame.length)
        return E_FAIL;
    FrameImage image;
    image.pTopRow = frame.scan0 + static_cast<LONG>(m_top) * frame.pitch + m_left * 4;
    image.pitch = frame.pitch;
    image.width = m_width;
    image.height = m_height;
    IDirectDrawSurface* pSurface = pPresenter->Offscreen();
    DDSURFACEDESC desc;
    HRESULT hr = LockSurface(pSurface, &desc);
    if (hr != S_OK)
        return hr;
    hr = CopyFrameToSurface(image, desc) ? S_OK : E_FAIL;
    pSurface->Unlock(nullptr);
    return hr;
}
