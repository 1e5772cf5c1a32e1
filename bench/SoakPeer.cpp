// The soak's peer: the bare calls the saver makes to play a clip in a loop, without the
// program around them. A full-screen window on the main thread; on a second thread, as in
// the saver, DirectDraw with a clipped primary surface, one multimedia stream opened once,
// and per pass a seek, run, frame updates each blitted to the window, stop. Every minute
// it prints its own private bytes, so tools/soak.sh can set the saver's
// growth beside that of the platform's own calls.
// With --reader it makes the second engine's calls instead: Media Foundation's source
// reader handing out the decoder's NV12 frames, each turned by the program's converter
// into an offscreen surface of the size the full-screen option gives, shown at its own
// time and blitted 1:1. With 0 minutes it plays the clip once and says how long the
// opening and the first frame took (the playback benchmark's floor for each engine).
//   soak_peer.exe <clip> [minutes] [--reader]
#include <windows.h>
#include <amstream.h>
#include <ddstream.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/Scoped.h"
#include "playback/mediafoundation/MediaFoundation.h"
#include "playback/present/YuvConvert.h"

namespace {

struct PeerRun {
    HWND hWnd;
    WCHAR clip[MAX_PATH];
    DWORD minutes;
    bool reader;
};

double g_start;

double Now()
{
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return c.QuadPart * 1000.0 / f.QuadPart;
}

// Milliseconds since this process was created, as the benchmark times the saver's first
// picture: Now() minus this is the process's creation on the same clock.
double SinceCreation()
{
    FILETIME created, unused, now;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &unused, &unused, &unused);
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER a, b;
    a.LowPart = created.dwLowDateTime, a.HighPart = created.dwHighDateTime;
    b.LowPart = now.dwLowDateTime, b.HighPart = now.dwHighDateTime;
    return (b.QuadPart - a.QuadPart) / 10000.0;
}

// How long the call that opens the clip took, and whether it did.
void ReportOpening(bool opened, double since)
{
    printf("soak peer: %s after %.0f ms\n", opened ? "opened" : "refused", Now() - since);
    fflush(stdout);
}

void Report(DWORD minute)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
    SIZE_T privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    printf("soak peer: after %lu min: private %lu KB\n", minute,
           static_cast<unsigned long>(privateBytes / 1024));
    fflush(stdout);
}

bool Play(const PeerRun& run)
{
    ComPtr<IDirectDraw> dd;
    ComPtr<IDirectDrawClipper> clipper;
    ComPtr<IDirectDrawSurface> primary;
    ComPtr<IAMMultiMediaStream> stream;
    ComPtr<IMediaStream> video;
    ComPtr<IDirectDrawMediaStream> ddStream;
    ComPtr<IDirectDrawStreamSample> sample;
    ComPtr<IDirectDrawSurface> frame;

    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    RECT frameRect;
    if (FAILED(::DirectDrawCreate(nullptr, dd.Receive(), nullptr)) ||
        FAILED(dd->SetCooperativeLevel(run.hWnd, DDSCL_NORMAL)) ||
        FAILED(dd->CreateClipper(0, clipper.Receive(), nullptr)) ||
        FAILED(clipper->SetHWnd(0, run.hWnd)) ||
        FAILED(dd->CreateSurface(&desc, primary.Receive(), nullptr)) ||
        FAILED(primary->SetClipper(clipper.Get())) ||
        FAILED(::CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAMMultiMediaStream, stream.ReceiveVoid())) ||
        FAILED(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, nullptr)) ||
        FAILED(stream->AddMediaStream(dd.Get(), &MSPID_PrimaryVideo, 0, nullptr)))
        return false;
    const double opening = Now();
    bool opened = SUCCEEDED(stream->OpenFile(run.clip, 0));
    if (!run.minutes)
        ReportOpening(opened, opening);
    if (!opened ||
        FAILED(stream->GetMediaStream(MSPID_PrimaryVideo, video.Receive())) ||
        FAILED(video->QueryInterface(IID_IDirectDrawMediaStream, ddStream.ReceiveVoid())) ||
        FAILED(ddStream->CreateSample(nullptr, nullptr, 0, sample.Receive())) ||
        FAILED(sample->GetSurface(frame.Receive(), &frameRect)))
        return false;

    const DWORD started = ::GetTickCount();
    DWORD reported = 0;
    LONG frames = 0;
    do {
        stream->Seek(0);
        stream->SetState(STREAMSTATE_RUN);
        while (sample->Update(0, nullptr, nullptr, 0) == S_OK) {
            RECT area;
            ::GetClientRect(run.hWnd, &area);
            ::ClientToScreen(run.hWnd, reinterpret_cast<POINT*>(&area.left));
            ::ClientToScreen(run.hWnd, reinterpret_cast<POINT*>(&area.right));
            primary->Blt(&area, frame.Get(), &frameRect, DDBLT_WAIT, nullptr);
            if (!frames++ && !run.minutes)
                printf("soak peer: first frame after %.0f ms\n", Now() - g_start);
        }
        stream->SetState(STREAMSTATE_STOP);
        DWORD minute = (::GetTickCount() - started) / 60000;
        if (minute > reported)
            Report(reported = minute);
    } while (reported < run.minutes);
    if (!run.minutes)
        printf("soak peer: frames shown %ld\n", frames);
    primary->SetClipper(nullptr);
    return true;
}

// The second engine's calls: one pass of the clip through the source reader.
bool PlayReader(const PeerRun& run)
{
    const MediaFoundationApi* mf = GetMediaFoundation();
    if (!mf || FAILED(mf->MFStartup(kMediaFoundationVersion, MFSTARTUP_NOSOCKET)))
        return false;
    bool played = false;
    {
        ComPtr<IDirectDraw> dd;
        ComPtr<IDirectDrawClipper> clipper;
        ComPtr<IDirectDrawSurface> primary, frame;
        ComPtr<IMFAttributes> attributes;
        ComPtr<IMFSourceReader> reader;
        ComPtr<IMFMediaType> wanted, type;
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        const DWORD video = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        bool ready = SUCCEEDED(::DirectDrawCreate(nullptr, dd.Receive(), nullptr)) &&
                     SUCCEEDED(dd->SetCooperativeLevel(run.hWnd, DDSCL_NORMAL)) &&
                     SUCCEEDED(dd->CreateClipper(0, clipper.Receive(), nullptr)) &&
                     SUCCEEDED(clipper->SetHWnd(0, run.hWnd)) &&
                     SUCCEEDED(dd->CreateSurface(&desc, primary.Receive(), nullptr)) &&
                     SUCCEEDED(primary->SetClipper(clipper.Get())) &&
                     SUCCEEDED(mf->MFCreateAttributes(attributes.Receive(), 1)) &&
                     SUCCEEDED(attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE));
        const double opening = Now();
        bool opened = ready && SUCCEEDED(mf->MFCreateSourceReaderFromURL(run.clip, attributes.Get(), reader.Receive()));
        ReportOpening(opened, opening);
        UINT64 size = 0;
        ready = opened && SUCCEEDED(reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE)) &&
                SUCCEEDED(reader->SetStreamSelection(video, TRUE)) && SUCCEEDED(mf->MFCreateMediaType(wanted.Receive())) &&
                SUCCEEDED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) &&
                SUCCEEDED(wanted->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12)) &&
                SUCCEEDED(reader->SetCurrentMediaType(video, nullptr, wanted.Get())) &&
                SUCCEEDED(reader->GetCurrentMediaType(video, type.Receive())) &&
                SUCCEEDED(type->GetUINT64(MF_MT_FRAME_SIZE, &size));
        const DWORD width = static_cast<DWORD>(size >> 32), height = static_cast<DWORD>(size);
        // The full-screen option's place: the whole width or height, the clip's shape kept.
        RECT area;
        ::GetClientRect(run.hWnd, &area);
        RECT placed = area;
        if (width && height) {
            if (static_cast<ULONGLONG>(area.right) * height < static_cast<ULONGLONG>(area.bottom) * width)
                placed.bottom = static_cast<LONG>(static_cast<ULONGLONG>(area.right) * height / width);
            else
                placed.right = static_cast<LONG>(static_cast<ULONGLONG>(area.bottom) * width / height);
            ::OffsetRect(&placed, (area.right - placed.right) / 2, (area.bottom - placed.bottom) / 2);
        }
        desc = DDSURFACEDESC();
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = placed.right - placed.left;
        desc.dwHeight = placed.bottom - placed.top;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        ready = ready && SUCCEEDED(dd->CreateSurface(&desc, frame.Receive(), nullptr));
        CYuvScaler scaler;
        const bool sse2 = CanUseSse2();
        YuvColour colour;
        colour.matrix = DefaultIsBt709(width, height) ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
        LONG frames = 0;
        double origin = 0;
        LONGLONG originTime = 0;
        ::timeBeginPeriod(1);
        while (ready) {
            DWORD stream = 0, flags = 0;
            LONGLONG time = 0;
            ComPtr<IMFSample> sample;
            ComPtr<IMFMediaBuffer> buffer;
            if (FAILED(reader->ReadSample(video, 0, &stream, &flags, &time, sample.Receive())) ||
                (flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM)))
                break;
            BYTE* data = nullptr;
            DWORD length = 0;
            if (!sample || FAILED(sample->ConvertToContiguousBuffer(buffer.Receive())) ||
                FAILED(buffer->Lock(&data, nullptr, &length)))
                continue;
            DDSURFACEDESC locked = {};
            locked.dwSize = sizeof(locked);
            if (length >= width * height * 3 / 2 &&
                SUCCEEDED(frame->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
                YuvImage image;
                image.planes[0] = data;
                image.planes[1] = data + width * height;
                image.pitches[0] = image.pitches[1] = static_cast<LONG>(width);
                image.width = width;
                image.height = height;
                PixelTarget target;
                target.pixels = static_cast<BYTE*>(locked.lpSurface);
                target.pitch = locked.lPitch;
                target.width = locked.dwWidth;
                target.height = locked.dwHeight;
                target.bits = locked.ddpfPixelFormat.dwRGBBitCount;
                target.rMask = locked.ddpfPixelFormat.dwRBitMask;
                target.gMask = locked.ddpfPixelFormat.dwGBitMask;
                target.bMask = locked.ddpfPixelFormat.dwBBitMask;
                scaler.Convert(image, colour, target, sse2);
                frame->Unlock(nullptr);
            }
            buffer->Unlock();
            if (!frames) {
                origin = Now();
                originTime = time;
                if (!run.minutes)
                    printf("soak peer: first frame after %.0f ms\n", origin - g_start);
            }
            while (Now() - origin < (time - originTime) / 10000.0)
                ::Sleep(1);
            primary->Blt(&placed, frame.Get(), nullptr, DDBLT_WAIT, nullptr);
            ++frames;
        }
        ::timeEndPeriod(1);
        printf("soak peer: frames shown %ld\n", frames);
        if (primary)
            primary->SetClipper(nullptr);
        played = frames > 0;
    }
    mf->MFShutdown();
    return played;
}

DWORD WINAPI PlayThread(LPVOID param)
{
    const PeerRun& run = *static_cast<const PeerRun*>(param);
    ::CoInitialize(nullptr);
    bool played = run.reader ? PlayReader(run) : Play(run);
    ::CoUninitialize();
    if (!played)
        printf("soak peer: the clip did not play\n");
    ::PostMessageA(run.hWnd, WM_CLOSE, 0, 0);
    return played ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: soak_peer <clip> [minutes] [--reader]\n");
        return 2;
    }
    g_start = Now() - SinceCreation();
    PeerRun run = {};
    run.minutes = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 30;
    run.reader = argc > 3 && strcmp(argv[3], "--reader") == 0;
    if (!::MultiByteToWideChar(CP_ACP, 0, argv[1], -1, run.clip, MAX_PATH))
        return 2;
    run.hWnd = ::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "soak peer", WS_POPUP | WS_VISIBLE, 0, 0,
                                 ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                                 nullptr, nullptr, nullptr, nullptr);
    if (!run.hWnd)
        return 1;
    HANDLE thread = ::CreateThread(nullptr, 0, PlayThread, &run, 0, nullptr);
    if (!thread)
        return 1;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_CLOSE && msg.hwnd == run.hWnd)
            break;
        ::DispatchMessageA(&msg);
    }
    ::WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    ::GetExitCodeThread(thread, &code);
    ::CloseHandle(thread);
    ::DestroyWindow(run.hWnd);
    return static_cast<int>(code);
}
