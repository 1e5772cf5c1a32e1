#include "update/UpgradeDescription.h"

#include <windows.h>

#include <cstring>

const char kUpgradeKeyVersion[] = "version";
const char kUpgradeKeyUrl[] = "url";
const char kUpgradeKeyUrl2[] = "url2";
const char kUpgradeKeySignature[] = "signature";
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

bool IsSameVersion(const char* own, const char* offered)
{
    return own && offered && strcmp(own, offered) == 0;
}
