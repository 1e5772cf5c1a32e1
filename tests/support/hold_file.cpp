// hold_file <path> <ready event> <release event>: opens path for writing with no
// sharing, signals the ready event and keeps the file open until the release event is
// signalled (30 s at most). Exit code 0 when the file was held, 1 otherwise.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 1;
    HANDLE hReady = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE hRelease = ::OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    HANDLE hFile = ::CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    int code = 1;
    if (hReady && hRelease && hFile != INVALID_HANDLE_VALUE) {
        ::SetEvent(hReady);
        ::WaitForSingleObject(hRelease, 30000);
        code = 0;
    }
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    if (hReady)
        ::CloseHandle(hReady);
    if (hRelease)
        ::CloseHandle(hRelease);
    return code;
}
