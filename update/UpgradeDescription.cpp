#include "update/UpgradeDescription.h"

#include <windows.h>

#include <cstring>

const char kUpgradeKeyVersion[] = "version";
const char kUpgradeKeyUrl[] = "url";
const char kUpgradeKeyUrl2[] = "url2";
const char kUpgradeKeySignature[] = "signature";
const char kUpgradeKeySize[] = "size";
const char kUpgradeFileName[] = "upgrade.txt";
const char kUpgradeTmpName[] = "upgrade.tmp";

namespace {

const char kUpdateFolder[] = "kovatemp";
// The longest local name the update flow is sure to store there ("upgrade.txt" has 11).
const size_t kNameRoom = 12;

bool IsAbsolute(const char* path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                 path[2] == '\\';
    bool unc = path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

}  // namespace

bool GetUpdateDirectory(char* dir, size_t size)
{
    if (!dir || size == 0)
        return false;
    dir[0] = '\0';
    char temp[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathA(sizeof(temp), temp);
    // 0 is a failure; a length of the buffer or more is the size it would need.
    if (length == 0 || length >= sizeof(temp) || !IsAbsolute(temp))
        return false;
    size_t total = length + strlen(kUpdateFolder);
    if (total + 1 + kNameRoom >= MAX_PATH || total >= size)
        return false;
    memcpy(dir, temp, length);
    memcpy(dir + length, kUpdateFolder, sizeof(kUpdateFolder));
    return true;
}

const FolderApi kSystemFolderApi = { ::GetFileAttributesA, ::RemoveDirectoryA, ::DeleteFileA, ::CreateDirectoryA,
                                     ::CreateFileA, ::GetFileInformationByHandle };

bool PrepareUpdateFolder(const char* dir, ScopedHandle& hold)
{
    return PrepareUpdateFolderWith(kSystemFolderApi, dir, hold);
}

bool IsPlainFolder(const ScopedHandle& hold)
{
    return IsPlainFolderWith(kSystemFolderApi, hold);
}

bool PrepareUpdateFolderWith(const FolderApi& api, const char* dir, ScopedHandle& hold)
{
    hold.Reset();
    if (!dir || !*dir)
        return false;
    DWORD attributes = api.GetFileAttributesA(dir);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // Removing a link removes the link alone, never what it points to.
        if (!api.RemoveDirectoryA(dir) && !api.DeleteFileA(dir))
            return false;
        attributes = INVALID_FILE_ATTRIBUTES;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES && !api.CreateDirectoryA(dir, nullptr))
        return false;
    if (::GetVersion() & 0x80000000) {  // 9x: no links, and no folder can be opened
        attributes = api.GetFileAttributesA(dir);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    // Read access, so the hold counts in sharing checks (an open for attributes alone
    // does not); no delete sharing, so no one renames or removes the folder meanwhile.
    // A link put in its place between the look above and this open is opened as
    // itself, and refused below.
    hold.Reset(api.CreateFileA(dir, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!hold || !IsPlainFolderWith(api, hold)) {
        hold.Reset();
        return false;
    }
    return true;
}

bool IsPlainFolderWith(const FolderApi& api, const ScopedHandle& hold)
{
    if (!hold)
        return true;
    BY_HANDLE_FILE_INFORMATION info = {};
    return api.GetFileInformationByHandle(hold.Get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool ParseVersion(const char* text, unsigned short parts[4])
{
    if (!text)
        return false;
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.')
            return false;
        if (*p < '0' || *p > '9')
            return false;
        unsigned long value = 0;
        int digits = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            if (++digits > 5)
                return false;
            value = value * 10 + static_cast<unsigned long>(*p - '0');
        }
        if (value > 65535)
            return false;
        parts[i] = static_cast<unsigned short>(value);
    }
    return *p == '\0';
}

bool IsNewerVersion(const char* own, const char* offered)
{
    unsigned short mine[4], theirs[4];
    if (!ParseVersion(own, mine) || !ParseVersion(offered, theirs))
        return false;
    for (int i = 0; i < 4; ++i) {
        if (theirs[i] != mine[i])
            return theirs[i] > mine[i];
    }
    return false;
}
