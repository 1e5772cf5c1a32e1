// The maker's web server for tests (tls_update_server.py, started by the ctest fixture
// "tls_update_server"), and the prefix settings that let the real program reach it
// unchanged: the test authority in the root store and WinInet's proxy.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/TestSupport.h"

// What the fixture's server process wrote into its state folder.
class TlsUpdateServer {
public:
    // Reads the ports; false when the fixture's server is not running.
    bool Load();

    int ProxyPort() const { return m_proxyPort; }                  // trusted certificate
    int StrangerProxyPort() const { return m_strangerProxyPort; }  // untrusted certificate
    // DER certificates of the two test authorities.
    std::string TrustedAuthority() const { return m_stateDir + "ca.der"; }
    std::string StrangerAuthority() const { return m_stateDir + "stranger-ca.der"; }

    // Writes a file the servers then serve at /<relPath> (relPath with backslashes);
    // the same file is served slowly at /slow/<relPath>.
    bool PutFile(const std::string& relPath, const std::string& content) const;
    bool RemoveFile(const std::string& relPath) const;
    // "<scheme> <method> <path> <status>" for every request since the last ClearRequests.
    std::vector<std::string> Requests() const;
    void ClearRequests() const;

private:
    std::string m_stateDir;
    int m_proxyPort = 0;
    int m_strangerProxyPort = 0;
};

// Adds a DER certificate to the current user's root store, as an administrator adds an
// authority on Windows, and removes it again on destruction. Under Wine the system
// store "Root" does not keep what is added through it, the registry store does.
class ScopedTrustedAuthority {
public:
    explicit ScopedTrustedAuthority(const std::string& derPath);
    ~ScopedTrustedAuthority();
    ScopedTrustedAuthority(const ScopedTrustedAuthority&) = delete;
    ScopedTrustedAuthority& operator=(const ScopedTrustedAuthority&) = delete;

    bool Trusted() const { return !m_hash.empty(); }
    // HKCU key that holds the certificate while it is trusted.
    std::string RegistryKey() const;

private:
    std::vector<BYTE> m_hash;  // SHA-1 of the certificate
};

// Points WinInet's preconfigured proxy (the user's Internet Settings) at 127.0.0.1:port
// for as long as it lives.
class ScopedInternetProxy {
public:
    explicit ScopedInternetProxy(int port);

private:
    static std::string ServerText(int port);
    ScopedRegValue m_server;
    ScopedRegValue m_enable;
};
