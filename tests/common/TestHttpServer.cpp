#include "common/TestHttpServer.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>

std::string SeenRequest::Get(const std::string& name) const
{
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

bool TestHttpServer::Find()
{
    char dir[MAX_PATH] = {};
    DWORD n = ::GetEnvironmentVariableA("LUMASPIRE_HTTP_SERVER_DIR", dir, sizeof(dir));
    if (n == 0 || n >= sizeof(dir))
        return false;
    std::string text;
    if (!ReadWholeFile(std::string(dir) + "/port", &text))
        return false;
    m_port = atoi(text.c_str());
    size_t space = text.find(' ');
    m_refusedPort = space == std::string::npos ? 0 : atoi(text.c_str() + space + 1);
    return m_port > 0 && m_refusedPort > 0;
}

std::string TestHttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string TestHttpServer::RefusedUrl(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_refusedPort) + path;
}

std::vector<SeenRequest> TestHttpServer::Requests(const std::string& tag) const
{
    std::vector<SeenRequest> requests;
    std::string log;
    HINTERNET hInternet = ::InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (hInternet) {
        HINTERNET hUrl = ::InternetOpenUrlA(hInternet, Url("/_log/" + tag).c_str(), nullptr, 0,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
        if (hUrl) {
            char buffer[4096];
            DWORD read = 0;
            while (::InternetReadFile(hUrl, buffer, sizeof(buffer), &read) && read)
                log.append(buffer, read);
            ::InternetCloseHandle(hUrl);
        }
        ::InternetCloseHandle(hInternet);
    }
    // Blocks of "line\r\nName: value\r\n...\r\n".
    size_t pos = 0;
    while (pos < log.size()) {
        SeenRequest request;
        size_t end = log.find("\r\n", pos);
        if (end == std::string::npos)
            break;
        request.line = log.substr(pos, end - pos);
        pos = end + 2;
        while ((end = log.find("\r\n", pos)) != std::string::npos && end > pos) {
            std::string header = log.substr(pos, end - pos);
            size_t colon = header.find(':');
            std::string name = header.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            size_t value = header.find_first_not_of(' ', colon + 1);
            request.headers[name] = value == std::string::npos ? "" : header.substr(value);
            pos = end + 2;
        }
        pos = end == std::string::npos ? log.size() : end + 2;
        requests.push_back(request);
    }
    return requests;
}

std::string BodyPattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char buffer[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(hFile, buffer, sizeof(buffer), &read, nullptr) != FALSE) && read)
        bytes->append(buffer, read);
    ::CloseHandle(hFile);
    return ok;
}
