// Where the update description "upgrade.txt" is kept and how its version is compared.
#pragma once

#include <windows.h>

#include <cstddef>

#include "support/Scoped.h"

// Keys of the description, each looked up at occurrence 0.
extern const char kUpgradeKeyVersion[];  // "version": the newest version, as text
extern const char kUpgradeKeyUrl[];      // "url": the installer
extern const char kUpgradeKeyUrl2[];     // "url2": an optional second file
extern const char kUpgradeKeySignature[];  // "signature": the maker's, of version and installer
extern const char kUpgradeKeySize[];     // "size": the installer's, in the signed text too
extern const char kUpgradeFileName[];    // "upgrade.txt"
extern const char kUpgradeTmpName[];     // "upgrade.tmp", where the second file goes

// The update directory: the temporary directory followed directly by "kovatemp" (no
// trailing backslash). False, with dir empty, when GetTempPathA fails, gives a relative
// path, or the directory with a backslash and a 12-byte file name would not fit in
// MAX_PATH or in size: then there is no update check.
bool GetUpdateDirectory(char* dir, size_t size);

// Makes the update directory usable and holds it. One that is a link (a junction or
// a symbolic link, which a program of the same user may plant to send the downloads
// elsewhere) is removed, its target left alone, and made anew as a plain folder. Where
// folders can be opened (not on Windows 95, 98 and Me, which have no links either), the
// folder is held open without delete sharing, so it cannot be renamed, removed or
// swapped while the update runs; hold receives that handle. False when no plain folder
// could be made or held.
bool PrepareUpdateFolder(const char* dir, ScopedHandle& hold);

// True when the held folder is still a plain folder (always true without a hold).
bool IsPlainFolder(const ScopedHandle& hold);

// The file system functions the two above use: the system's, or a test's stand-ins
// (Wine makes no junctions).
struct FolderApi {
    DWORD(WINAPI* GetFileAttributesA)(LPCSTR);
    BOOL(WINAPI* RemoveDirectoryA)(LPCSTR);
    BOOL(WINAPI* DeleteFileA)(LPCSTR);
    BOOL(WINAPI* CreateDirectoryA)(LPCSTR, LPSECURITY_ATTRIBUTES);
    HANDLE(WINAPI* CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* GetFileInformationByHandle)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
};
extern const FolderApi kSystemFolderApi;
bool PrepareUpdateFolderWith(const FolderApi& api, const char* dir, ScopedHandle& hold);
bool IsPlainFolderWith(const FolderApi& api, const ScopedHandle& hold);

// Reads "a.b.c.d": four decimal numbers of 0 to 65535, nothing before, between or after
// but the three dots. False for anything else (null, a sign, a blank, a fifth number).
bool ParseVersion(const char* text, unsigned short parts[4]);

// True only when offered is a newer a.b.c.d than own, number by number. Older, equal or
// malformed (on either side) is false: an update only goes forward, so an old release
// with its valid signature can never be offered again. A bad release is withdrawn by
// publishing the good one under a higher number.
bool IsNewerVersion(const char* own, const char* offered);
