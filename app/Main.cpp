// Process entry of lumaspire.scr.
#include <windows.h>

#include "host/SaverHost.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The runtime's view of the command line is not used: the switch grammar works on
    // the raw text, double-byte characters included.
    ::ExitProcess(static_cast<UINT>(HostMain(::GetModuleHandleA(nullptr), SkipProgramName(::GetCommandLineA()))));
}
