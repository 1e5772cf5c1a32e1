#include "common/StandardUser.h"

#include <string>

#include "common/TestSupport.h"

namespace {

bool AsksForAdministrator(const char* path)
{
    HMODULE file = ::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC manifest = file ? ::FindResourceA(file, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    std::string text;
    if (manifest)
        text.assign(static_cast<const char*>(::LockResource(::LoadResource(file, manifest))),
                    ::SizeofResource(file, manifest));
    if (file)
        ::FreeLibrary(file);
    return text.find("requireAdministrator") != std::string::npos;
}

}  // namespace

bool StandardUser::s_consent = true;
int StandardUser::s_prompts = 0;
HWND StandardUser::s_owner = nullptr;
decltype(&::CreateProcessA) StandardUser::s_create;
decltype(&::ShellExecuteExA) StandardUser::s_shell;

StandardUser::StandardUser()
{
    s_consent = true;
    s_prompts = 0;
    s_owner = nullptr;
    HMODULE self = ::GetModuleHandleA(nullptr);
    s_create = reinterpret_cast<decltype(s_create)>(
        ReplaceImport(self, "kernel32.dll", "CreateProcessA", reinterpret_cast<void*>(CreateProcess)));
    s_shell = reinterpret_cast<decltype(s_shell)>(
        ReplaceImport(self, "shell32.dll", "ShellExecuteExA", reinterpret_cast<void*>(ShellExecuteEx)));
}

StandardUser::~StandardUser()
{
    HMODULE self = ::GetModuleHandleA(nullptr);
    if (s_create)
        ReplaceImport(self, "kernel32.dll", "CreateProcessA", reinterpret_cast<void*>(s_create));
    if (s_shell)
        ReplaceImport(self, "shell32.dll", "ShellExecuteExA", reinterpret_cast<void*>(s_shell));
}

BOOL WINAPI StandardUser::CreateProcess(LPCSTR app, LPSTR cmd, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta,
                                        BOOL inherit, DWORD flags, LPVOID env, LPCSTR dir, LPSTARTUPINFOA si,
                                        LPPROCESS_INFORMATION pi)
{
    if (app && AsksForAdministrator(app)) {
        ::SetLastError(ERROR_ELEVATION_REQUIRED);
        return FALSE;
    }
    return s_create(app, cmd, pa, ta, inherit, flags, env, dir, si, pi);
}

BOOL WINAPI StandardUser::ShellExecuteEx(SHELLEXECUTEINFOA* sei)
{
    if (sei->lpVerb && lstrcmpiA(sei->lpVerb, "runas") == 0) {
        s_owner = sei->hwnd;
        ++s_prompts;
        if (!s_consent) {
            ::SetLastError(ERROR_CANCELLED);
            return FALSE;
        }
    }
    return s_shell(sei);
}
