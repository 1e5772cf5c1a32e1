// The command line: the program name skipped, the switch and its window handle parsed
// and the selected mode run against a system with no windows.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ShimControl.h"
#include "host/PasswordProvider.h"
#include "host/SaverHost.h"
#include "support/ScreenArea.h"

// The parts of the host in other files: nothing to do without windows.
LRESULT SaverWindowBridge(HWND, UINT, WPARAM, LPARAM) { return 0; }
INT_PTR CALLBACK DialogBridge(HWND, UINT, WPARAM, LPARAM) { return 0; }
void LoadPasswordProvider() {}
void UnloadPasswordProvider() {}
void ChangePassword(HWND) {}
ScreenMetrics GetScreenMetrics() { return ScreenMetrics{0, 0, 1024, 768, 1024, 768}; }
RECT FullScreenRect(const ScreenMetrics& m) { return RECT{m.xVirtual, m.yVirtual, m.cxVirtual, m.cyVirtual}; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // First byte: the system; the rest is the command line as the process was given it.
    if (size < 1)
        return 0;
    ShimSetWin9x(data[0] & 1);
    char* line = static_cast<char*>(malloc(size));
    memcpy(line, data + 1, size - 1);
    line[size - 1] = '\0';
    const size_t lineLength = strlen(line);

    const char* args = SkipProgramName(line);
    CHECK(args >= line && args <= line + lineLength);
    CHECK(*args == '\0' || static_cast<unsigned char>(*args) > ' ');

    // A handle is the leading digits taken modulo 2^32.
    uint32_t expected = 0;
    for (const char* p = args; *p >= '0' && *p <= '9'; ++p)
        expected = static_cast<uint32_t>((static_cast<uint64_t>(expected) * 10 + (*p - '0')) & 0xFFFFFFFFu);
    CHECK(ParseHandle(args) == expected);

    g_saverHost = SaverHostState{};
    g_saverHost.lastVerifyTick = static_cast<DWORD>(-1);
    int code = HostMain(nullptr, args);
    // Without windows: the configuration dialog's result 1, a password change 0, else -1.
    CHECK(code == 1 || code == 0 || code == -1);
    free(line);
    return 0;
}
