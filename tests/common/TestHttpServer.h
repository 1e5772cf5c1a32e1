// The test HTTP server (http_test_server.py), started by the ctest fixture of the test
// program: its address, what it was sent, and the body pattern it serves.
#pragma once

#include <map>
#include <string>
#include <vector>

struct SeenRequest {
    std::string line;                            // "GET /path HTTP/1.1"
    std::map<std::string, std::string> headers;  // names in lower case
    bool Has(const std::string& name) const { return headers.count(name) != 0; }
    std::string Get(const std::string& name) const;
};

class TestHttpServer {
public:
    // Reads the port file named by LUMASPIRE_HTTP_SERVER_DIR; false when there is none.
    bool Find();
    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;
    // A URL on a port where connections are refused.
    std::string RefusedUrl(const std::string& path) const;
    // The requests recorded under tag (the first segment of their path), in order.
    std::vector<SeenRequest> Requests(const std::string& tag) const;

private:
    int m_port = 0;
    int m_refusedPort = 0;
};

// Bytes 0..size-1 of every body the server sends: byte i is i % 251.
std::string BodyPattern(size_t size);
// The whole file as bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);
