// Helpers shared by the installer's tests (see InstallerSupport.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace installer_test {

extern const char kDesktopKey[];
extern const char kUninstallKey[];
extern const char kSessionKey[];
extern const DWORD kRunTimeoutMs;

std::string SystemDir();
// The installed saver as this (32-bit) test opens it: through the system folder, which
// 64-bit Windows redirects to SysWOW64 for it.
std::string InstalledSaver();
// The same file as the system's own programs name it (on 64-bit Windows winlogon and the
// Screen Saver control panel are 64-bit and see it in SysWOW64).
std::string SaverAsTheSystemSeesIt();
// Whether a program of the system's own architecture finds the file at path: on 64-bit
// Windows a 64-bit cmd (checked to be no WoW64 process), elsewhere this process.
bool SystemFinds(const std::string& path);
std::string SetupPath();
bool ReadBytes(const std::string& path, std::vector<char>* bytes);
bool WriteBytes(const std::string& path, const std::vector<char>& bytes);
// Files of the system folder matching the pattern (names only).
std::vector<std::string> SystemFiles(const char* pattern);
// A REG_SZ value, or "<none>" when it is missing.
std::string RegText(HKEY root, const char* key, const char* name);
bool KeyExists(HKEY root, const char* key);
void SetRegText(HKEY root, const char* key, const char* name, const std::string& text);

// Exit code of the program, STILL_ACTIVE when it is still running after the time-out.
DWORD Run(const std::string& exe, const char* args);
DWORD RunSetupSilently();
// Runs the uninstaller of the Add/Remove Programs entry silently and waits for its work.
bool UninstallSilentlyAndWait();
std::string ShortPath(const std::string& path);
// "a.b.c.d" from the fixed part of the file's version resource; empty when it has none.
std::string FileVersionOf(const std::string& path);
// Leaves neither an installation nor files of one behind.
void RemoveInstallation();

}  // namespace installer_test
