// The soak's peer: the bare calls the saver makes to play a clip in a loop, without the
// program around them. A full-screen window on the main thread; on a second thread, as in
// the saver, DirectDraw with a clipped primary surface, one multimedia stream opened once,
// and per pass a seek, run, frame updates each blitted to the window, stop. Every minute
// it prints its own private bytes, so tools/soak.sh can set the saver's
// growth beside that of the platform's own calls.
//   soak_peer.exe <clip> [minutes]
#include <windows.h>
#include <amstream.h>
#include <ddstream.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

#include "playback/ComPtr.h"

namespace {

struct PeerRun {
    HWND hWnd;
    WCHAR clip[MAX_PATH];
    DWORD minutes;
};

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
        FAILED(stream->AddMediaStream(dd.Get(), &MSPID_PrimaryVideo, 0, nullptr)) ||
        FAILED(stream->OpenFile(run.clip, 0)) ||
        FAILED(stream->GetMediaStream(MSPID_PrimaryVideo, video.Receive())) ||
        FAILED(video->QueryInterface(IID_IDirectDrawMediaStream, ddStream.ReceiveVoid())) ||
        FAILED(ddStream->CreateSample(nullptr, nullptr, 0, sample.Receive())) ||
        FAILED(sample->GetSurface(frame.Receive(), &frameRect)))
        return false;

    const DWORD started = ::GetTickCount();
    DWORD reported = 0;
    while (reported < run.minutes) {
        stream->Seek(0);
        stream->SetState(STREAMSTATE_RUN);
        while (sample->Update(0, nullptr, nullptr, 0) == S_OK) {
            RECT area;
            ::GetClientRect(run.hWnd, &area);
            ::ClientToScreen(run.hWnd, reinterpret_cast<POINT*>(&area.left));
            ::ClientToScreen(run.hWnd, reinterpret_cast<POINT*>(&area.right));
            primary->Blt(&area, frame.Get(), &frameRect, DDBLT_WAIT, nullptr);
        }
        stream->SetState(STREAMSTATE_STOP);
        DWORD minute = (::GetTickCount() - started) / 60000;
        if (minute > reported)
            Report(reported = minute);
    }
    primary->SetClipper(nullptr);
    return true;
}

DWORD WINAPI PlayThread(LPVOID param)
{
    const PeerRun& run = *static_cast<const PeerRun*>(param);
    ::CoInitialize(nullptr);
    bool played = Play(run);
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
        fprintf(stderr, "usage: soak_peer <clip> [minutes]\n");
        return 2;
    }
    PeerRun run = {};
    run.minutes = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 30;
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
