// Loads the whole contents of a file into one memory block: from disk, or else from the
// open pack in slot 0 of the pack table. The table is part of the loader's design, but
// this program opens no pack, so only disk files are found; tests fill the table to reach
// the pack path.
#pragma once

#include <windows.h>

#include <cstdint>

struct PackEntry {
    uint32_t key;     // MakePathKey of the entry's path
    uint32_t offset;  // of its bytes in the pack file; never 0 (0 marks a disk file)
    uint32_t size;
};

struct PackSlot {
    PackSlot();
    ~PackSlot();
    PackSlot(const PackSlot&) = delete;
    PackSlot& operator=(const PackSlot&) = delete;

    // First entry with that key; null when there is none.
    const PackEntry* FindEntry(uint32_t key) const;
    // Closes the handle, frees the entries, back to the empty slot.
    void Clear();

    uint32_t identifier;
    HANDLE handle;       // the open pack file, owned
    int32_t entryCount;
    PackEntry* entries;  // malloc'd, owned
};

const int kPackSlotCount = 32;
// Process-wide; only slot 0 is consulted by XFile::Load. Not locked: loads must not run
// on two threads at once (they share a pack's file pointer).
extern PackSlot g_packTable[kPackSlotCount];

class XFile {
public:
    XFile() = default;
    ~XFile() { Close(); }
    XFile(const XFile&) = delete;
    XFile& operator=(const XFile&) = delete;

    // 1 when the contents are in data (the previous block is freed first), 0 on failure
    // with data null; the error text of the failure is composed (support/ErrorText.h).
    int Load(const char* path);
    void Close();

    const BYTE* GetData() const { return m_data; }
    DWORD GetSize() const { return m_size; }

private:
    void CloseOwnFile();

    HANDLE m_hFile = INVALID_HANDLE_VALUE;  // Load never leaves one open
    DWORD m_offset = 0;                     // 0: own disk file; else the contents came from a pack
    DWORD m_size = 0;
    BYTE* m_data = nullptr;  // exactly m_size bytes, no terminator; malloc'd
};
