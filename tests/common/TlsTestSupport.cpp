#include "common/TlsTestSupport.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const char kRootStoreKey[] = "Software\\Microsoft\\SystemCertificates\\Root";
const char kInternetSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() { if (m_hKey) ::RegCloseKey(m_hKey); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* Out() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// The registry store over HKCU's root certificates; written back when it closes.
class ScopedRootStore {
public:
    ScopedRootStore()
    {
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kRootStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, m_key.Out(), nullptr) == ERROR_SUCCESS)
            m_hStore = ::CertOpenStore(CERT_STORE_PROV_REG, 0, 0, 0, m_key.Get());
    }
    ~ScopedRootStore() { if (m_hStore) ::CertCloseStore(m_hStore, 0); }
    ScopedRootStore(const ScopedRootStore&) = delete;
    ScopedRootStore& operator=(const ScopedRootStore&) = delete;
    HCERTSTORE Get() const { return m_hStore; }

private:
    ScopedKey m_key;  // closed after the store, which writes through it
    HCERTSTORE m_hStore = nullptr;
};

// The fixture's state folder: build\tls-update-server beside build\bin.
std::string StateDir()
{
    return ExeDir() + "..\\tls-update-server\\";
}

}  // namespace

bool TlsUpdateServer::Load()
{
    m_stateDir = StateDir();
    std::istringstream ports(ReadAll(m_stateDir + "ports.txt"));
    std::string line;
    while (std::getline(ports, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        int port = atoi(line.c_str() + eq + 1);
        std::string name = line.substr(0, eq);
        if (name == "proxy")
            m_proxyPort = port;
        else if (name == "stranger_proxy")
            m_strangerProxyPort = port;
    }
    return m_proxyPort > 0 && m_strangerProxyPort > 0;
}

bool TlsUpdateServer::PutFile(const std::string& relPath, const std::string& content) const
{
    std::string path = m_stateDir + "www\\" + relPath;
    // Every folder on the way, one level at a time.
    for (size_t slash = path.find('\\', m_stateDir.size()); slash != std::string::npos;
         slash = path.find('\\', slash + 1))
        ::CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out.flush());
}

bool TlsUpdateServer::RemoveFile(const std::string& relPath) const
{
    return ::DeleteFileA((m_stateDir + "www\\" + relPath).c_str()) != FALSE;
}

std::vector<std::string> TlsUpdateServer::Requests() const
{
    std::vector<std::string> lines;
    std::istringstream log(ReadAll(m_stateDir + "requests.log"));
    std::string line;
    while (std::getline(log, line))
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

void TlsUpdateServer::ClearRequests() const
{
    std::ofstream(m_stateDir + "requests.log", std::ios::trunc);
}

ScopedTrustedAuthority::ScopedTrustedAuthority(const std::string& derPath)
{
    std::string der = ReadAll(derPath);
    if (der.empty())
        return;
    ScopedRootStore store;
    if (!store.Get())
        return;
    PCCERT_CONTEXT pCert = nullptr;
    if (!::CertAddEncodedCertificateToStore(store.Get(), kEncoding,
                                            reinterpret_cast<const BYTE*>(der.data()),
                                            static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, &pCert))
        return;
    BYTE hash[20];
    DWORD cb = sizeof(hash);
    if (::CertGetCertificateContextProperty(pCert, CERT_SHA1_HASH_PROP_ID, hash, &cb))
        m_hash.assign(hash, hash + cb);
    ::CertFreeCertificateContext(pCert);
}

ScopedTrustedAuthority::~ScopedTrustedAuthority()
{
    if (m_hash.empty())
        return;
    ScopedRootStore store;
    if (!store.Get())
        return;
    CRYPT_HASH_BLOB blob = { static_cast<DWORD>(m_hash.size()), m_hash.data() };
    PCCERT_CONTEXT pCert = ::CertFindCertificateInStore(store.Get(), kEncoding, 0,
                                                        CERT_FIND_SHA1_HASH, &blob, nullptr);
    if (pCert)
        ::CertDeleteCertificateFromStore(pCert);  // frees the context too
}

std::string ScopedTrustedAuthority::RegistryKey() const
{
    std::string key = std::string(kRootStoreKey) + "\\Certificates\\";
    char hex[3];
    for (BYTE b : m_hash) {
        snprintf(hex, sizeof(hex), "%02X", b);
        key += hex;
    }
    return key;
}

std::string ScopedInternetProxy::ServerText(int port)
{
    return "127.0.0.1:" + std::to_string(port);
}

ScopedInternetProxy::ScopedInternetProxy(int port)
    : m_server(kInternetSettingsKey, "ProxyServer", ServerText(port).c_str()),
      m_enable(kInternetSettingsKey, "ProxyEnable", static_cast<DWORD>(1))
{
}
