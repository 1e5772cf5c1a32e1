#include "update/InstallerCheck.h"

#include <wintrust.h>

#include <cstring>

#include <sodium/crypto_hash_sha256.h>

#include "support/SystemLibrary.h"
#include "update/UpdateSignature.h"

namespace {

bool HashFile(HANDLE file, unsigned char sha256[kSha256Size])
{
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    unsigned char chunk[16384];
    DWORD read = 0;
    do {
        if (!::ReadFile(file, chunk, sizeof(chunk), &read, nullptr))
            return false;
        crypto_hash_sha256_update(&state, chunk, read);
    } while (read != 0);
    crypto_hash_sha256_final(&state, sha256);
    return true;
}

// A second look where Windows has WinVerifyTrust (looked up at run time: Windows 95 has
// none, and a wintrust.dll beside the program must never be the one loaded): true when
// the file carries an Authenticode signature whose digest no longer matches its bytes. A
// missing signature, an unknown publisher or any other answer leaves the decision to the
// maker's key; Wine, for one, accepts every publisher. Revocation is looked up in the
// cache only, so an offline machine never waits for the network.
bool HasBrokenAuthenticode(HANDLE file, const char* path)
{
    ScopedModule wintrust(LoadSystemLibrary("wintrust.dll"));
    if (!wintrust)
        return false;
    typedef LONG(WINAPI * WinVerifyTrustFn)(HWND, GUID*, void*);
    WinVerifyTrustFn verify = reinterpret_cast<WinVerifyTrustFn>(::GetProcAddress(wintrust.Get(), "WinVerifyTrust"));
    WCHAR widePath[MAX_PATH];
    if (!verify || !::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        return false;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);

    WINTRUST_FILE_INFO info = {};
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = widePath;
    info.hFile = file;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
    // WINTRUST_ACTION_GENERIC_VERIFY_V2
    GUID action = { 0x00aac56b, 0xcd44, 0x11d0, { 0x8c, 0xc2, 0x00, 0xc0, 0x4f, 0xc2, 0x95, 0xee } };
    return verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data) == TRUST_E_BAD_DIGEST;
}

}  // namespace

bool XInstallerCheck::Open(const char* path, const char* version, const char* signatureHex)
{
    Close();
    if (!path || !version || !signatureHex)
        return false;
    // FILE_SHARE_READ alone: while this handle is open no one can open the file for
    // writing, rename it or delete it (and an open for writing held by anyone else
    // makes this one fail).
    m_file.Reset(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    unsigned char sha256[kSha256Size];
    if (!m_file || !HashFile(m_file.Get(), sha256) || !IsSignedByMaker(version, sha256, signatureHex) ||
        HasBrokenAuthenticode(m_file.Get(), path)) {
        Close();
        return false;
    }
    return true;
}
