#include "update/InstallerCheck.h"

#include <wintrust.h>

#include <cstring>

#include <sodium/crypto_hash_sha256.h>

#include "support/SystemLibrary.h"
#include "support/TextCopy.h"
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

typedef LONG(WINAPI* WinVerifyTrustFn)(HWND, GUID*, void*);
typedef CRYPT_PROVIDER_DATA*(WINAPI* ProvDataFn)(HANDLE);
typedef CRYPT_PROVIDER_SGNR*(WINAPI* ProvSignerFn)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);

// One WinVerifyTrust of a file (GENERIC_VERIFY_V2, no user interface, revocation looked
// up in the cache only, so an offline machine never waits for the network), whose state
// stays open for a look at the signer until destruction. wintrust.dll is looked up at
// run time: Windows 95 has none, and one beside the program must never be the one loaded.
class TrustCheck {
public:
    TrustCheck(HANDLE file, const char* path) : m_wintrust(LoadSystemLibrary("wintrust.dll"))
    {
        if (!m_wintrust)
            return;
        m_verify = reinterpret_cast<WinVerifyTrustFn>(::GetProcAddress(m_wintrust.Get(), "WinVerifyTrust"));
        if (!m_verify || !::MultiByteToWideChar(CP_ACP, 0, path, -1, m_widePath, MAX_PATH)) {
            m_verify = nullptr;
            return;
        }
        ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        m_info.cbStruct = sizeof(m_info);
        m_info.pcwszFilePath = m_widePath;
        m_info.hFile = file;
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_info;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
        m_result = m_verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    ~TrustCheck()
    {
        if (!m_verify)
            return;
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        m_verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    TrustCheck(const TrustCheck&) = delete;
    TrustCheck& operator=(const TrustCheck&) = delete;

    bool Available() const { return m_verify != nullptr; }
    LONG Result() const { return m_result; }

    // True when the first signer's certificate carries exactly that public key.
    bool SignerKeyIs(const unsigned char* key, unsigned int keySize) const
    {
        ProvDataFn provData =
            reinterpret_cast<ProvDataFn>(::GetProcAddress(m_wintrust.Get(), "WTHelperProvDataFromStateData"));
        ProvSignerFn provSigner =
            reinterpret_cast<ProvSignerFn>(::GetProcAddress(m_wintrust.Get(), "WTHelperGetProvSignerFromChain"));
        if (!provData || !provSigner || !m_data.hWVTStateData)
            return false;
        CRYPT_PROVIDER_DATA* data = provData(m_data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = data ? provSigner(data, 0, FALSE, 0) : nullptr;
        if (!signer || signer->csCertChain < 1 || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
            return false;
        const CRYPT_BIT_BLOB& bits = signer->pasCertChain[0].pCert->pCertInfo->SubjectPublicKeyInfo.PublicKey;
        return keySize > 0 && bits.cbData == keySize && bits.cUnusedBits == 0 &&
               memcmp(bits.pbData, key, keySize) == 0;
    }

private:
    ScopedModule m_wintrust;
    WinVerifyTrustFn m_verify = nullptr;
    WCHAR m_widePath[MAX_PATH] = {};
    WINTRUST_FILE_INFO m_info = {};
    WINTRUST_DATA m_data = {};
    // WINTRUST_ACTION_GENERIC_VERIFY_V2
    GUID m_action = { 0x00aac56b, 0xcd44, 0x11d0, { 0x8c, 0xc2, 0x00, 0xc0, 0x4f, 0xc2, 0x95, 0xee } };
    LONG m_result = TRUST_E_NOSIGNATURE;
};

// The answers of a valid signature whose certificates' revocation the cache could not
// tell: a machine that has never fetched the authority's list must still update.
bool IsTrusted(LONG result)
{
    return result == ERROR_SUCCESS || result == static_cast<LONG>(CERT_E_REVOCATION_FAILURE) ||
           result == static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE) ||
           result == static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK);
}

}  // namespace

bool XInstallerCheck::Open(const char* path, const char* version, LONG size, const char* signatureHex)
{
    Close();
    if (!path || !version || !signatureHex || CopyTextBounded(m_path, sizeof(m_path), path) != strlen(path))
        return false;
    // FILE_SHARE_READ alone: while this handle is open no one can open the file for
    // writing, rename it or delete it (and an open for writing held by anyone else
    // makes this one fail). Starting it, and the installer reading itself, only read.
    m_file.Reset(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    unsigned char sha256[kSha256Size];
    bool passed = m_file && (size < 0 || ::GetFileSize(m_file.Get(), nullptr) == static_cast<DWORD>(size)) &&
                  HashFile(m_file.Get(), sha256) && IsSignedByMaker(version, size, sha256, signatureHex);
    if (passed) {
        TrustCheck trust(m_file.Get(), path);
        if (kPublisherKeySize > 0 && trust.Available()) {
            // With the maker's code-signing key built in, a thief of the update key alone
            // gets nothing run: the publisher must have signed it too. Wine answers
            // success for any publisher's valid signature; the key comparison is the
            // program's own, so anyone else's certificate fails there.
            passed = IsTrusted(trust.Result()) && trust.SignerKeyIs(kPublisherKey, kPublisherKeySize);
        } else {
            // Without one, only an Authenticode signature that is present but no longer
            // matches the file's bytes refuses it. A missing signature, an unknown
            // publisher or any other answer leaves the decision to the maker's key.
            passed = !(trust.Available() && trust.Result() == static_cast<LONG>(TRUST_E_BAD_DIGEST));
        }
    }
    if (!passed) {
        Close();
        return false;
    }
    return true;
}

bool XInstallerCheck::GetRunPath(char* buffer, size_t size) const
{
    if (!m_file || !buffer || size == 0)
        return false;
    typedef DWORD(WINAPI * FinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    FinalPathFn finalPath =
        kernel ? reinterpret_cast<FinalPathFn>(::GetProcAddress(kernel, "GetFinalPathNameByHandleA")) : nullptr;
    if (!finalPath)
        return CopyTextBounded(buffer, size, m_path) == strlen(m_path);
    char final[MAX_PATH + 8] = {};
    const DWORD kNormalizedDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
    DWORD length = finalPath(m_file.Get(), final, sizeof(final), kNormalizedDosName);
    if (length == 0 || length >= sizeof(final))
        return false;
    // "\\?\C:\..." and "\\?\UNC\server\..." back to the forms every caller takes.
    const char* rest = final;
    char unc[MAX_PATH + 8] = {};
    if (strncmp(final, "\\\\?\\UNC\\", 8) == 0) {
        unc[0] = unc[1] = '\\';
        CopyTextBounded(unc + 2, sizeof(unc) - 2, final + 8);
        rest = unc;
    } else if (strncmp(final, "\\\\?\\", 4) == 0) {
        rest = final + 4;
    }
    size_t restLength = strlen(rest);
    return restLength < MAX_PATH && CopyTextBounded(buffer, size, rest) == restLength;
}
