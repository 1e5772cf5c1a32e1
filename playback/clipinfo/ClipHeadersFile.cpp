#include <windows.h>

#include "playback/clipinfo/ClipHeaders.h"

namespace {

// The clip file, read where the parser asks. Shared for writing and deleting, as the
// engines open it: a clip being copied in is read all the same.
class FileSource : public ClipByteSource {
public:
    explicit FileSource(const char* path)
        : m_file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        DWORD high = 0;
        const DWORD low = m_file != INVALID_HANDLE_VALUE ? ::GetFileSize(m_file, &high) : INVALID_FILE_SIZE;
        if (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR)
            m_size = (static_cast<uint64_t>(high) << 32) | low;
    }
    ~FileSource()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_file);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

    size_t Read(uint64_t offset, void* out, size_t size) override
    {
        LONG high = static_cast<LONG>(offset >> 32);
        DWORD got = 0;
        if (::SetFilePointer(m_file, static_cast<LONG>(offset), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
            ::GetLastError() != NO_ERROR)
            return 0;
        if (!::ReadFile(m_file, out, static_cast<DWORD>(size), &got, nullptr))
            return 0;
        return got;
    }
    uint64_t Size() const override { return m_size; }

private:
    HANDLE m_file;
    uint64_t m_size = 0;
};

}  // namespace

bool ReadClipHeadersFromFile(const char* path, ClipHeaders* pOut)
{
    *pOut = ClipHeaders();
    FileSource file(path);
    return file.IsOpen() && ReadClipHeaders(file, pOut);
}
