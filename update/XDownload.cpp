#include "update/XDownload.h"

#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/TextCopy.h"

namespace {

const DWORD kBufferSize = 4096;
const DWORD kRetryPauseMs = 1000;
// The largest file the engine takes: its counts are the 32-bit values the polling
// thread reads, so a longer body (or Content-Length) fails the item.
const LONG kMaxFileSize = 0x7FFFFFFF;

const DWORD kCacheableFlags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK |
                              INTERNET_FLAG_NO_UI | INTERNET_FLAG_NEED_FILE;
const DWORD kUncachedFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                             INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kCacheableFlags == 0x00400E10, "request flags of cacheable items");
static_assert(kUncachedFlags == 0x84400700, "request flags of other items");

// A malloc'd copy of the whole text, byte for byte (null: empty); null when memory runs out.
char* CopyString(const char* text)
{
    return _strdup(text ? text : "");
}

bool IsLeadByte(char c)
{
    return ::IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
}

// A name that, joined to a directory, names a plain file inside it.
bool IsSafeFileName(const char* name)
{
    size_t length = strlen(name);
    if (length == 0 || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    // Windows drops trailing dots and spaces: the file written would not be the one named.
    if (name[length - 1] == '.' || name[length - 1] == ' ')
        return false;
    for (const char* p = name; *p; ++p) {
        if (IsLeadByte(*p) && p[1]) {
            ++p;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || strchr("<>:\"/\\|?*#", c))
            return false;
    }
    // Device names stay devices with any extension: "nul.txt" is NUL.
    size_t base = strcspn(name, ".");
    while (base > 0 && name[base - 1] == ' ')
        --base;
    static const char* const kDevices[] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$" };
    for (const char* device : kDevices) {
        if (base == strlen(device) && _strnicmp(name, device, base) == 0)
            return false;
    }
    if (base == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0) && name[3] >= '0' &&
        name[3] <= '9')
        return false;
    return true;
}

// The last segment of the URL's path, or an empty string when the URL cannot be split.
char* FileNameFromUrl(const char* url)
{
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    static_assert(sizeof(URL_COMPONENTSA) == 60, "the structure size WinInet is given");
    parts.dwHostNameLength = 1;  // asked for: pointers into the URL come back
    parts.dwUrlPathLength = 1;
    if (!url || !::InternetCrackUrlA(url, 0, 0, &parts) || !parts.lpszUrlPath)
        return CopyString("");
    const char* path = parts.lpszUrlPath;
    size_t length = parts.dwUrlPathLength;
    // The last '\\', else the last '/', stepping over double-byte characters.
    const char* lastBackslash = nullptr;
    const char* lastSlash = nullptr;
    for (size_t i = 0; i < length; ++i) {
        if (IsLeadByte(path[i]) && i + 1 < length) {
            ++i;
            continue;
        }
        if (path[i] == '\\')
            lastBackslash = path + i;
        else if (path[i] == '/')
            lastSlash = path + i;
    }
    const char* cut = lastBackslash ? lastBackslash : lastSlash;
    const char* name = cut ? cut + 1 : path;
    size_t nameLength = path + length - name;
    char* copy = static_cast<char*>(malloc(nameLength + 1));
    // A name cut in half a double-byte character is not one the file could have.
    if (copy && (CopyTextBounded(copy, nameLength + 1, name, nameLength) != nameLength || !IsSafeFileName(copy)))
        copy[0] = '\0';
    return copy;
}

}  // namespace

bool IsSecureUrl(const char* pszUrl)
{
    // Anything fetched over plain http could be replaced on the way: the installer it
    // names would then be someone else's program, run by the user.
    static const char kScheme[] = "https://";
    if (!pszUrl)
        return false;
    for (int i = 0; kScheme[i]; ++i) {
        char c = pszUrl[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[i])
            return false;  // also stops at the terminator of a shorter text
    }
    return true;
}

CString XDownload::FileNameFromUrl(const char* url)
{
    char* name = ::FileNameFromUrl(url);
    CString result(name ? name : "");
    free(name);
    return result;
}

struct XDownload::Item {
    char* url;
    char* directory;
    char* fileName;
    char* path;  // directory followed by the file name
    int cacheable;
    LONG limit;  // the most bytes taken; kMaxFileSize unless SetSizeLimit says less
    int cut;     // a longer body is cut at the limit instead of failing the item
    volatile LONG expectedSize;  // written by the worker, read by polling
    volatile LONG received;
    volatile LONG failed;
};

// Everything the worker touches. The engine and a running worker each hold a reference;
// the last one frees it, so a worker left running when its engine goes never writes
// into freed memory. Only aligned 32-bit values are shared while the worker runs.
struct XDownload::Shared {
    volatile LONG refs;
    volatile LONG stopFlag;  // set by Stop, read by the worker
    volatile LONG probeIndex;
    volatile LONG downloadIndex;
    char* agent;  // the worker's own copy
    int secureOnly;
    Item* items;
    int count;
    int capacity;

    bool Stopped() const { return stopFlag != 0; }
};

namespace {

// An internet handle of the worker. Only the worker uses or closes it: WinInet gives a
// closed handle's value to the next handle opened, perhaps another engine's, so a handle
// closed under a worker that still holds its value would let the worker read or close
// someone else's request.
struct InternetHandleCloser {
    static bool Holds(HINTERNET h) { return h != nullptr; }
    static void Close(HINTERNET h) { ::InternetCloseHandle(h); }
};
using InternetHandle = ScopedOwner<HINTERNET, InternetHandleCloser>;

// The retry pause, cut short by the stop flag.
void Pause(const volatile LONG* stopFlag)
{
    for (DWORD waited = 0; waited < kRetryPauseMs && !*stopFlag; waited += 50)
        ::Sleep(50);
}

HINTERNET OpenInternet(const char* agent)
{
    HINTERNET h = ::InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (h) {
        static const struct {
            DWORD option, value;
        } kOptions[] = {
            { INTERNET_OPTION_CONNECT_TIMEOUT, 10000 },   { INTERNET_OPTION_CONNECT_RETRIES, 10 },
            { INTERNET_OPTION_SEND_TIMEOUT, 10000 },      { INTERNET_OPTION_RECEIVE_TIMEOUT, 10000 },
            { INTERNET_OPTION_DATA_SEND_TIMEOUT, 10000 }, { INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, 10000 },
        };
        for (const auto& o : kOptions) {
            DWORD value = o.value;
            ::InternetSetOptionA(h, o.option, &value, sizeof(value));
        }
    }
    return h;
}

enum class Outcome { Success, Fail, Repeat };

// False when the reply came from anything but an https address. WinInet follows
// redirects by itself, so the address asked for says nothing of where the bytes came
// from: only the request's own URL after the reply does.
bool CameFromSecureUrl(HINTERNET hRequest)
{
    char url[INTERNET_MAX_URL_LENGTH + 1] = {};
    DWORD length = sizeof(url) - 1;
    if (!::InternetQueryOptionA(hRequest, INTERNET_OPTION_URL, url, &length))
        return false;  // unknown, or too long for any address this program fetches
    url[sizeof(url) - 1] = '\0';
    return IsSecureUrl(url);
}

// 0 and 4xx fail at once, 5xx is asked again, the rest is accepted.
Outcome Judge(DWORD status)
{
    if (status == 0 || (status >= 400 && status <= 499))
        return Outcome::Fail;
    return status >= 500 ? Outcome::Repeat : Outcome::Success;
}

// A header's text; false when the reply has none.
bool QueryText(HINTERNET hRequest, DWORD query, char (&text)[260])
{
    DWORD length = sizeof(text);
    DWORD index = 0;
    if (!::HttpQueryInfoA(hRequest, query, text, &length, &index))
        return false;
    text[sizeof(text) - 1] = '\0';
    return true;
}

// The status code; the previous value stays in status when the reply has none.
void QueryStatus(HINTERNET hRequest, LONG* status)
{
    char text[260] = {};
    if (QueryText(hRequest, HTTP_QUERY_STATUS_CODE, text))
        *status = atoi(text);
}

// The Content-Length: -1 when the reply has none or it is no size (a sign, or text);
// above kMaxFileSize when it is larger than the engine takes, however long its digits.
LONGLONG QueryLength(HINTERNET hRequest)
{
    char text[260] = {};
    if (!QueryText(hRequest, HTTP_QUERY_CONTENT_LENGTH, text))
        return -1;
    const char* p = text;
    while (*p == ' ')
        ++p;
    if (*p < '0' || *p > '9')
        return -1;
    LONGLONG length = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (length <= kMaxFileSize)
            length = length * 10 + (*p - '0');
    }
    return length;
}

}  // namespace

XDownload::XDownload() : m_shared(nullptr), m_agent(CopyString("XDownload")), m_started(0)
{
    m_shared = static_cast<Shared*>(calloc(1, sizeof(Shared)));
    if (m_shared) {
        m_shared->refs = 1;
        m_shared->probeIndex = -1;
        m_shared->downloadIndex = -1;
    }
}

XDownload::~XDownload()
{
    Reset();
    Release(m_shared);
    free(m_agent);
}

void XDownload::Release(Shared* shared)
{
    if (!shared || InterlockedDecrement(&shared->refs) != 0)
        return;
    for (int i = 0; i < shared->count; ++i) {
        Item& item = shared->items[i];
        free(item.url);
        free(item.directory);
        free(item.fileName);
        free(item.path);
    }
    free(shared->items);
    free(shared->agent);
    free(shared);
}

void XDownload::SetAgent(const char* name)
{
    char* copy = CopyString(name);
    if (copy) {
        free(m_agent);
        m_agent = copy;
    }
}

bool XDownload::SetSizeLimit(int i, LONG limit, bool cut)
{
    if (m_started || i < 0 || i >= GetCount() || limit < 0)
        return false;
    m_shared->items[i].limit = limit;
    m_shared->items[i].cut = cut ? 1 : 0;
    return true;
}

void XDownload::SetSecureOnly(bool secureOnly)
{
    if (!m_started && m_shared)
        m_shared->secureOnly = secureOnly ? 1 : 0;
}

int XDownload::AddFile(const char* url, const char* directory, const char* fileName, int cacheable)
{
    Shared* s = m_shared;
    if (m_started || !s)
        return -1;
    if (s->count == s->capacity) {
        int capacity = s->capacity ? s->capacity * 2 : 4;
        Item* items = static_cast<Item*>(realloc(s->items, capacity * sizeof(Item)));
        if (!items)
            return -1;
        s->items = items;
        s->capacity = capacity;
    }

    Item item = {};
    item.url = CopyString(url);
    size_t dirLength = directory ? strlen(directory) : 0;
    bool separated = dirLength == 0 || directory[dirLength - 1] == '\\' || directory[dirLength - 1] == '/';
    item.directory = static_cast<char*>(malloc(dirLength + 2));
    if (item.directory) {
        memcpy(item.directory, directory ? directory : "", dirLength);
        strcpy(item.directory + dirLength, separated ? "" : "\\");
    }
    item.fileName = fileName && *fileName ? CopyString(fileName) : ::FileNameFromUrl(url);
    if (item.directory && item.fileName) {
        size_t a = strlen(item.directory), b = strlen(item.fileName);
        item.path = static_cast<char*>(malloc(a + b + 1));
        if (item.path) {
            memcpy(item.path, item.directory, a);
            memcpy(item.path + a, item.fileName, b + 1);
        }
    }
    if (!item.url || !item.directory || !item.fileName || !item.path) {
        free(item.url);
        free(item.directory);
        free(item.fileName);
        free(item.path);
        return -1;
    }
    item.cacheable = cacheable;
    item.limit = kMaxFileSize;
    item.cut = 0;
    item.expectedSize = -1;
    item.received = -1;
    item.failed = 0;
    s->items[s->count] = item;
    return s->count++;
}

bool XDownload::Start()
{
    Shared* s = m_shared;
    if (m_started || !s)
        return false;
    m_started = 1;
    free(s->agent);
    s->agent = CopyString(m_agent);
    InterlockedIncrement(&s->refs);  // the worker's
    m_thread.Reset(::CreateThread(nullptr, 0, ThreadProc, s, 0, nullptr));
    if (!m_thread) {
        InterlockedDecrement(&s->refs);
        Stop(0);
        return false;
    }
    return true;
}

void XDownload::Stop(DWORD timeoutMs)
{
    Shared* s = m_shared;
    if (!s || s->stopFlag)
        return;
    InterlockedExchange(&s->stopFlag, 1);
    if (m_thread) {
        // The worker's handles stay its own: it sees the flag after its current call,
        // which the time-outs of its internet handle bound. Never TerminateThread: it
        // may hold the heap or loader lock. One that does not end in time keeps its
        // reference to the shared state and frees it at its end.
        bool ended = ::WaitForSingleObject(m_thread.Get(), timeoutMs) == WAIT_OBJECT_0;
        m_thread.Reset();
        // The worker would delete its partial file itself, but only once its blocking
        // call returns, which a server that trickles a byte now and then puts off for
        // ever. It writes sharing deletion, so the file goes now or at its close.
        LONG at = s->downloadIndex;
        if (!ended && at >= 0 && at < s->count)
            ::DeleteFileA(s->items[at].path);
    }
    s->probeIndex = -1;
    s->downloadIndex = -1;
}

void XDownload::Reset()
{
    Stop(kStopWaitMs);
    // A fresh state for the idle engine; the old one goes with the last reference.
    Release(m_shared);
    m_shared = static_cast<Shared*>(calloc(1, sizeof(Shared)));
    if (m_shared) {
        m_shared->refs = 1;
        m_shared->probeIndex = -1;
        m_shared->downloadIndex = -1;
    }
    m_started = 0;
}

int XDownload::GetCount() const
{
    return m_shared ? m_shared->count : 0;
}

CString XDownload::GetDirectory(int i) const
{
    return i >= 0 && i < GetCount() ? CString(m_shared->items[i].directory) : CString();
}

CString XDownload::GetFileName(int i) const
{
    return i >= 0 && i < GetCount() ? CString(m_shared->items[i].fileName) : CString();
}

CString XDownload::GetFilePath(int i) const
{
    return i >= 0 && i < GetCount() ? CString(m_shared->items[i].path) : CString();
}

LONGLONG XDownload::GetTotalSize() const
{
    LONGLONG total = 0;
    for (int i = 0; i < GetCount(); ++i) {
        LONG size = m_shared->items[i].expectedSize;
        if (size >= 0)
            total += size;
    }
    return total;
}

LONGLONG XDownload::GetDownloadedSize() const
{
    LONGLONG total = 0;
    for (int i = 0; i < GetCount(); ++i) {
        LONG size = m_shared->items[i].received;
        if (size >= 0)
            total += size;
    }
    return total;
}

double XDownload::GetPercent() const
{
    LONGLONG total = GetTotalSize();
    LONGLONG downloaded = GetDownloadedSize();
    if (total <= 0 || downloaded < 0)
        return 0;
    return static_cast<double>(downloaded) * 100.0 / static_cast<double>(total);
}

bool XDownload::IsFinished(int i) const
{
    int count = GetCount();
    if (i >= count)
        return false;
    if (i >= 0) {
        LONG expected = m_shared->items[i].expectedSize;
        return expected >= 0 && m_shared->items[i].received >= expected;
    }
    // A worker left running after a stop might still move the index.
    return m_shared && !m_shared->stopFlag && m_shared->downloadIndex >= count;
}

bool XDownload::IsFailed(int i) const
{
    int count = GetCount();
    if (i >= count)
        return false;
    if (i >= 0)
        return m_shared->items[i].failed != 0;
    for (int k = 0; k < count; ++k) {
        if (m_shared->items[k].failed)
            return true;
    }
    return false;
}

DWORD WINAPI XDownload::ThreadProc(LPVOID param)
{
    Shared* s = static_cast<Shared*>(param);
    for (int i = 0; i < s->count && !s->Stopped(); ++i) {
        s->probeIndex = i;
        QueryFileInfo(s, i);
    }
    int i = 0;
    for (; i < s->count && !s->Stopped(); ++i) {
        s->downloadIndex = i;
        s->items[i].failed = DownloadFile(s, i) ? 0 : 1;
    }
    if (!s->Stopped())
        s->downloadIndex = i;
    Release(s);
    return 0;
}

bool XDownload::QueryFileInfo(Shared* s, int i)
{
    Item& item = s->items[i];
    InternetHandle internet(OpenInternet(s->agent));
    if (!internet) {
        Pause(&s->stopFlag);
        return false;
    }
    DWORD flags = item.cacheable ? kCacheableFlags : kUncachedFlags;
    LONG status = 0;
    for (int attempt = 1;; ++attempt) {
        InternetHandle request(::InternetOpenUrlA(internet.Get(), item.url, nullptr, 0, flags, 0));
        if (!request) {
            Pause(&s->stopFlag);
            return false;
        }
        QueryStatus(request.Get(), &status);
        Outcome outcome = Judge(static_cast<DWORD>(status));
        if (s->secureOnly && !CameFromSecureUrl(request.Get()))
            outcome = Outcome::Fail;
        if (outcome == Outcome::Repeat && attempt >= kMaxAttempts)
            outcome = Outcome::Fail;
        if (outcome == Outcome::Success) {
            LONGLONG length = QueryLength(request.Get());
            if (length >= 0 && length <= kMaxFileSize)
                item.expectedSize = static_cast<LONG>(length);
            return true;
        }
        request.Reset();
        if (s->Stopped())
            return false;
        Pause(&s->stopFlag);
        if (outcome != Outcome::Repeat || s->Stopped())
            return false;
    }
}

namespace {

// The local file of one attempt, created or truncated; its close is checked, since a
// full disk may show only then. Others may read it, and delete it (Stop does when it
// leaves a blocked worker behind); Windows 95, 98 and Me know no delete sharing.
class LocalFile {
public:
    explicit LocalFile(const char* path)
    {
        m_file = Create(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
        if (m_file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER)
            m_file = Create(path, FILE_SHARE_READ);
    }
    ~LocalFile() { Close(); }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }
    bool Write(const void* data, DWORD size)
    {
        DWORD written = 0;
        return ::WriteFile(m_file, data, size, &written, nullptr) && written == size;
    }
    bool Close()
    {
        HANDLE file = m_file;
        m_file = INVALID_HANDLE_VALUE;
        return file == INVALID_HANDLE_VALUE || ::CloseHandle(file);
    }

private:
    static HANDLE Create(const char* path, DWORD share)
    {
        return ::CreateFileA(path, GENERIC_WRITE, share, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    HANDLE m_file;
};

class ReadBuffer {
public:
    ReadBuffer() : m_data(calloc(1, kBufferSize)) {}
    ~ReadBuffer() { free(m_data); }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    void* Get() const { return m_data; }

private:
    void* m_data;
};

}  // namespace

bool XDownload::DownloadFile(Shared* s, int i)
{
    Item& item = s->items[i];
    InternetHandle internet(OpenInternet(s->agent));
    Outcome outcome = Outcome::Fail;
    if (internet) {
        DWORD flags = item.cacheable ? kCacheableFlags : kUncachedFlags;
        LONG status = 0;
        for (int attempt = 1;; ++attempt) {
            outcome = Outcome::Fail;
            // Every attempt writes the file from its first byte, and counts it so.
            item.received = -1;
            InternetHandle request(::InternetOpenUrlA(internet.Get(), item.url, nullptr, 0, flags, 0));
            if (request) {
                QueryStatus(request.Get(), &status);
                outcome = Judge(static_cast<DWORD>(status));
                if (s->secureOnly && !CameFromSecureUrl(request.Get()))
                    outcome = Outcome::Fail;
            }
            LONGLONG length = outcome == Outcome::Success ? QueryLength(request.Get()) : -1;
            // No file is begun that could not be counted, or that would pass its limit.
            if (length > kMaxFileSize || (length > item.limit && !item.cut))
                outcome = Outcome::Fail;
            if (outcome == Outcome::Success) {
                bool sized = length >= 0;
                if (*item.directory)
                    CreateDirectoryPath(item.directory, 1);
                // Longer paths would not name the file asked for.
                LocalFile file(strlen(item.path) < MAX_PATH ? item.path : "");
                ReadBuffer buffer;
                if (!file.IsOpen()) {
                    FormatOpenFileError("in XDownload::DownloadFile(\"%s\")", item.path);
                    outcome = Outcome::Fail;
                } else if (!buffer.Get()) {
                    FormatNoMemoryError("in XDownload::DownloadFile(\"%s\")", item.path);
                    outcome = Outcome::Fail;
                } else {
                    for (;;) {
                        LONG received = item.received < 0 ? 0 : item.received;
                        if (item.cut && received == item.limit) {
                            item.received = received;
                            outcome = Outcome::Success;  // the rest is not wanted
                            break;
                        }
                        // At most one byte past the limit is asked for: enough to tell
                        // that the body is longer, however slowly it comes.
                        DWORD room = static_cast<DWORD>(item.limit - received) + (item.cut ? 0 : 1);
                        DWORD ask = room < kBufferSize ? room : kBufferSize;
                        DWORD read = 0;
                        if (!::InternetReadFile(request.Get(), buffer.Get(), ask, &read)) {
                            outcome = Outcome::Repeat;
                            break;
                        }
                        if (read > static_cast<DWORD>(item.limit - received)) {
                            outcome = Outcome::Fail;  // longer than the item takes
                            break;
                        }
                        item.received = received + static_cast<LONG>(read);
                        if (read == 0) {
                            // A reply cut short may end like a whole one: only its
                            // Content-Length tells.
                            outcome = sized && item.received != length ? Outcome::Repeat : Outcome::Success;
                            break;
                        }
                        if (!file.Write(buffer.Get(), read)) {
                            outcome = Outcome::Fail;
                            break;
                        }
                        if (s->Stopped()) {
                            outcome = Outcome::Fail;
                            break;
                        }
                    }
                }
                if (!file.Close() && outcome == Outcome::Success)
                    outcome = Outcome::Fail;
            }
            request.Reset();
            if (outcome == Outcome::Repeat && attempt >= kMaxAttempts)
                outcome = Outcome::Fail;
            if (outcome == Outcome::Success || s->Stopped())
                break;
            Pause(&s->stopFlag);
            if (outcome != Outcome::Repeat || s->Stopped())
                break;
        }
    } else {
        Pause(&s->stopFlag);
    }
    internet.Reset();

    if (outcome == Outcome::Success) {
        item.expectedSize = item.received;
        return true;
    }
    ::DeleteFileA(item.path);
    return false;
}
