// The test server of the update flow, reached as the program reaches the maker's host:
// WinInet with the preconfigured proxy, https, the test authority trusted by the prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "common/TlsTestSupport.h"

namespace {

const char kUpgradeText[] = "version=1.0.7.0\r\nurl=https://www.tollvane.example/lumaspire/setup.exe\r\n";

class ScopedInternet {
public:
    explicit ScopedInternet(HINTERNET h) : m_h(h) {}
    ~ScopedInternet() { if (m_h) ::InternetCloseHandle(m_h); }
    ScopedInternet(const ScopedInternet&) = delete;
    ScopedInternet& operator=(const ScopedInternet&) = delete;
    HINTERNET Get() const { return m_h; }

private:
    HINTERNET m_h;
};

struct FetchResult {
    DWORD error = 0;  // of InternetOpenUrlA; 0 when it succeeded
    DWORD status = 0;
    std::string body;
};

// One GET as the program makes it: preconfigured proxy, no cache.
FetchResult Fetch(const std::string& url)
{
    FetchResult r;
    ScopedInternet inet(::InternetOpenA("XDownload", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!inet.Get()) {
        r.error = ::GetLastError();
        return r;
    }
    ScopedInternet request(::InternetOpenUrlA(inet.Get(), url.c_str(), nullptr, 0,
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request.Get()) {
        r.error = ::GetLastError();
        return r;
    }
    char text[32] = {};
    DWORD cb = sizeof(text);
    if (::HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE, text, &cb, nullptr))
        r.status = static_cast<DWORD>(atoi(text));
    char buffer[4096];
    DWORD got = 0;
    while (::InternetReadFile(request.Get(), buffer, sizeof(buffer), &got) && got > 0)
        r.body.append(buffer, got);
    return r;
}

bool KeyExists(const std::string& key)
{
    HKEY hKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

// WinInet reads the proxy setting once per process, so each fetch runs in a fresh
// process, as the program does: this test program started again, which fetches in
// its static initialisation and ends there.
const char kFetchUrlVar[] = "LUMASPIRE_FETCH_URL";
const char kFetchOutVar[] = "LUMASPIRE_FETCH_OUT";

struct ChildFetch {
    ChildFetch()
    {
        char url[512], out[MAX_PATH];
        if (!::GetEnvironmentVariableA(kFetchUrlVar, url, sizeof(url)) ||
            !::GetEnvironmentVariableA(kFetchOutVar, out, sizeof(out)))
            return;
        FetchResult r = Fetch(url);
        if (FILE* f = fopen(out, "wb")) {
            fprintf(f, "%lu %lu\n", r.error, r.status);
            fwrite(r.body.data(), 1, r.body.size(), f);
            fclose(f);
        }
        ::ExitProcess(0);
    }
} g_childFetch;

FetchResult FetchInFreshProcess(const std::string& url)
{
    FetchResult r;
    r.error = static_cast<DWORD>(-1);
    std::string out = ExeDir() + "tls_fetch_result.txt";
    ::DeleteFileA(out.c_str());
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    SaverProcess child;
    if (!child.Start("", self, { std::string(kFetchUrlVar) + "=" + url,
                                 std::string(kFetchOutVar) + "=" + out }) ||
        child.WaitExit(60000) != 0)
        return r;
    std::string text = ReadAll(out);
    size_t eol = text.find('\n');
    if (eol == std::string::npos)
        return r;
    unsigned long error = 0, status = 0;
    if (sscanf(text.c_str(), "%lu %lu", &error, &status) != 2)
        return r;
    r.error = error;
    r.status = status;
    r.body = text.substr(eol + 1);
    return r;
}

TEST(TlsUpdateServer, MakerHostReachedOnlyWithTheTrustedAuthority)
{
    TlsUpdateServer server;
    ASSERT_TRUE(server.Load()) << "the tls_update_server fixture is not running";
    ASSERT_TRUE(server.PutFile("lumaspire\\upgrade.txt", kUpgradeText));
    server.RemoveFile("lumaspire\\missing.txt");
    server.ClearRequests();

    std::string trustKey;
    {
        ScopedTrustedAuthority trust(server.TrustedAuthority());
        ASSERT_TRUE(trust.Trusted());
        trustKey = trust.RegistryKey();
        EXPECT_TRUE(KeyExists(trustKey)) << "the authority was not kept in the root store";

        struct Case {
            const char* name;
            bool stranger;  // the server whose authority nobody trusts
            const char* path;
            DWORD error;
            DWORD status;
            const char* body;
        };
        const Case cases[] = {
            { "untrusted authority", true, "/lumaspire/upgrade.txt", ERROR_INTERNET_INVALID_CA, 0, "" },
            { "trusted authority", false, "/lumaspire/upgrade.txt", 0, 200, kUpgradeText },
            { "slow body", false, "/slow/lumaspire/upgrade.txt", 0, 200, kUpgradeText },
            { "missing file", false, "/lumaspire/missing.txt", 0, 404, nullptr },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ScopedInternetProxy proxy(c.stranger ? server.StrangerProxyPort() : server.ProxyPort());
            FetchResult r = FetchInFreshProcess(std::string("https://www.tollvane.example") + c.path);
            EXPECT_EQ(c.error, r.error);
            EXPECT_EQ(c.status, r.status);
            if (c.body) {
                EXPECT_EQ(c.body, r.body);
            }
        }
    }
    EXPECT_FALSE(KeyExists(trustKey)) << "the authority stayed trusted";

    // The untrusted server never saw a request: the handshake failed before it.
    std::vector<std::string> expected = {
        "https GET /lumaspire/upgrade.txt 200",
        "https GET /slow/lumaspire/upgrade.txt 200",
        "https GET /lumaspire/missing.txt 404",
    };
    EXPECT_EQ(expected, server.Requests());
}

}  // namespace
