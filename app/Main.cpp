// Process entry of lumaspire.scr.
#include <windows.h>

#include "host/SaverHost.h"
#include "support/SystemLibrary.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Before anything is loaded at run time: the saver may have been started from a
    // folder where anyone can leave a DLL.
    SearchSystemFolderFirst();
    // The runtime's view of the command line is not used: the switch grammar works on
    // the raw text, double-byte characters included.
    ::ExitProcess(static_cast<UINT>(HostMain(::GetModuleHandleA(nullptr), SkipProgramName(::GetCommandLineA()))));
}
