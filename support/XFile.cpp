#include "support/XFile.h"

#include <cstdlib>

#include "support/ErrorText.h"
#include "support/PathKey.h"

PackSlot g_packTable[kPackSlotCount];

PackSlot::PackSlot() : identifier(0), handle(INVALID_HANDLE_VALUE), entryCount(0), entries(nullptr) {}

PackSlot::~PackSlot()
{
    Clear();
}

void PackSlot::Clear()
{
    if (handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(handle);
    free(entries);
    identifier = 0;
    handle = INVALID_HANDLE_VALUE;
    entryCount = 0;
    entries = nullptr;
}

const PackEntry* PackSlot::FindEntry(uint32_t key) const
{
    for (int32_t i = 0; i < entryCount; ++i) {
        if (entries[i].key == key)
            return &entries[i];
    }
    return nullptr;
}

void XFile::CloseOwnFile()
{
    // A pack's handle belongs to its slot.
    if (m_offset == 0 && m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

void XFile::Close()
{
    free(m_data);
    m_data = nullptr;
    CloseOwnFile();
    m_offset = 0;
    m_size = 0;
}

int XFile::Load(const char* path)
{
    free(m_data);
    m_data = nullptr;
    m_size = 0;
    if (!path) {
        FormatReadFileError("XFile::Load(\"%s\")", "");
        return 0;
    }

    m_offset = 0;
    m_hFile = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
    if (m_hFile != INVALID_HANDLE_VALUE) {
        DWORD high = 0;
        m_size = ::GetFileSize(m_hFile, &high);
        // A file of 4 GB or more would be read cut to its low 32 bits of size.
        if ((m_size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) || high != 0) {
            CloseOwnFile();
            m_size = 0;
            FormatReadFileError("XFile::Load(\"%s\")", path);
            return 0;
        }
    } else {
        const PackSlot& slot = g_packTable[0];
        const PackEntry* entry = slot.FindEntry(MakePathKey(path));
        // Offset 0 marks a disk file: a pack entry there would have Load close the
        // slot's handle as its own, so such a malformed entry is not served.
        if (!entry || entry->offset == 0 || slot.handle == INVALID_HANDLE_VALUE) {
            FormatReadFileError("XFile::Load(\"%s\")", path);
            return 0;
        }
        m_hFile = slot.handle;
        m_offset = entry->offset;
        m_size = entry->size;
        if (::SetFilePointer(m_hFile, static_cast<LONG>(m_offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
            ::GetLastError() != NO_ERROR) {
            m_hFile = INVALID_HANDLE_VALUE;
            m_offset = 0;
            m_size = 0;
            FormatReadFileError("XFile::Load(\"%s\")", path);
            return 0;
        }
    }

    // An empty file still gets a valid block.
    m_data = static_cast<BYTE*>(malloc(m_size ? m_size : 1));
    if (!m_data) {
        CloseOwnFile();
        m_size = 0;
        FormatNoMemoryError("in XFile::Load(\"%s\")", path);
        return 0;
    }

    DWORD read = 0;
    BOOL ok = ::ReadFile(m_hFile, m_data, m_size, &read, nullptr);
    CloseOwnFile();
    if (!ok) {
        free(m_data);
        m_data = nullptr;
        m_size = 0;
        FormatReadFileError("XFile::Load(\"%s\")", path);
        return 0;
    }
    // A file cut while it was read holds fewer bytes than its size said.
    m_size = read;
    return 1;
}
